#pragma once
// Simulated displays as the kernel shows them on Linux: each a hidraw node served through FUSE,
// with its sysfs entry and its /dev node below a temporary root, beside another maker's mouse.
// A port pointed at SysfsRoot() and DevRoot() ($PADSMITH_SYSFS_ROOT, $PADSMITH_DEV_ROOT) finds,
// opens and talks to them through the real kernel: open, flock, ioctl, read and poll are the
// kernel's own, and only the node's answers come from here. What each node does is described in
// HidrawNode.h, how its files are served in HidrawServer.h, the files around it in SysfsTree.h.
//
// The mouse is plugged first (hidraw0), then display k (0-based) at USB location 1-1.<k+1>,
// interface 0, with USB serial number QXTP-<k+1 in six digits> (the mouse has none), each
// backed by its own SimHidPort made from displays[k]. A display's input
// reports go to every open file of its node. When a display leaves the bus, by Unplug or by its
// own unplug-after fault, its sysfs entry and its dev/ link go, and its node's open files fail as
// hidraw's do; Plug (or a late arrival, arrive-after) brings a new node.
//
// Needs root and /dev/fuse. The process moves into a private mount namespace first (see
// PrivateMounts.h), so no mount outlives it, even when it crashes; a crash does leave the
// temporary tree (/tmp/padsmith-hidraw-*) behind.

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/Clock.h"
#include "device/HidPort.h"
#include "device/sim/SimHidPort.h"
#include "device/sim/SimOptions.h"
#include "tests/kernel/SysfsTree.h"

namespace padsmith::test {

class HidrawServer;

// Whether a pen report (ID 0x07) precedes each of the service collection's input reports, as
// when a pen moves over the display while it reports: a reader must pick its reports by ID.
enum class PenReports { kNone, kBeforeEach };

class HidrawFixture {
public:
    // Empty when the fixture can run here, else why not: "no /dev/fuse", "not root", or the step
    // of the namespace or the trial mount that failed, with its error. Checked once per process.
    static std::string Unavailable();

    // Throws std::runtime_error when it cannot be set up (Unavailable() tells why beforehand).
    // `clock` must outlive the fixture and should be a real one: the programs under test run in
    // real time.
    HidrawFixture(const std::vector<sim::SimOptions>& displays, Clock& clock,
                  PenReports pen = PenReports::kNone);
    // Unplugs everything, unmounts and removes the tree.
    ~HidrawFixture();
    HidrawFixture(const HidrawFixture&) = delete;
    HidrawFixture& operator=(const HidrawFixture&) = delete;

    std::string SysfsRoot() const;  // <root>/sys
    std::string DevRoot() const;    // <root>/dev
    // "PADSMITH_SYSFS_ROOT=..." and "PADSMITH_DEV_ROOT=...", for the programs under test.
    std::vector<std::string> Environment() const;
    // DevRoot()/hidrawN of the display's current node; empty while it is unplugged.
    std::string NodePath(int display) const;

    // The display itself: its flash, the reports it received, its faults.
    sim::SimHidPort& Display(int display);
    // The display leaves the bus, or comes back on a new node: the lowest free number, as the
    // kernel gives it (a number stays taken while a file of the old node is open).
    void Unplug(int display);
    void Plug(int display);
    // The node's permission bits, as udev's rule sets them; its ctime changes, and a watcher of
    // dev/ sees IN_ATTRIB for it, as for a chmod of a real node.
    void SetNodeMode(int display, mode_t mode);
    // `hook` runs each time the display accepts a feature report, with the report's ID, on the
    // thread that serves the ioctl, before the ioctl returns: a test makes the display leave at
    // the step it chooses. It stays through replugs; null removes it.
    void AfterFeatureAccepted(int display, std::function<void(uint8_t reportId)> hook);

private:
    struct Plugged {
        HidrawEntry entry;
        std::shared_ptr<HidDevice> service;
        ReadStop stop;
        std::thread pump;  // the service collection's input reports into the node
    };
    struct Slot {
        std::unique_ptr<sim::SimHidPort> port;
        std::unique_ptr<Plugged> plugged;  // null while unplugged
        std::function<void(uint8_t reportId)> afterAccepted;  // m_hookMutex guards it
    };

    // From the display's device-change notices, on whatever thread caused them.
    void PlugNode(int display);
    void UnplugNode(int display);
    void TearDown();
    // Runs the display's hook, if any; on the thread serving the ioctl.
    void FeatureAccepted(int display, uint8_t reportId);

    std::string m_root;
    const PenReports m_pen;
    std::unique_ptr<HidrawServer> m_server;
    HidrawEntry m_mouse;

    // Serialises plugging and unplugging; guards each slot's `plugged` and m_nextInstance.
    mutable std::mutex m_busMutex;
    std::vector<Slot> m_slots;
    int m_nextInstance = 1;
    // Not m_busMutex: a hook may unplug its display.
    std::mutex m_hookMutex;
};

}  // namespace padsmith::test
