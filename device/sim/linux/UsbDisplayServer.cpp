#include "device/sim/linux/UsbDisplayServer.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "device/sim/SimFlashFile.h"
#include "device/sim/SimInterfaces.h"
#include "device/sim/linux/VhciHost.h"

namespace padsmith::sim {
namespace {

// How long an attach waits for the port's last device to be torn down.
constexpr std::chrono::milliseconds kPortWait{10'000};
// How often the operator looks when no move is due: for connections that ended.
constexpr Millis kLook{50};

bool ReadFull(int fd, uint8_t* bytes, size_t length) {
    while (length > 0) {
        const ssize_t got = read(fd, bytes, length);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        bytes += got;
        length -= static_cast<size_t>(got);
    }
    return true;
}

bool WriteFull(int fd, const uint8_t* bytes, size_t length) {
    while (length > 0) {
        const ssize_t put = send(fd, bytes, length, MSG_NOSIGNAL);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        bytes += put;
        length -= static_cast<size_t>(put);
    }
    return true;
}

}  // namespace

struct UsbDisplayServer::Connection {
    int socket = -1;
    std::thread thread;
    std::atomic<bool> ended{false};
};

struct UsbDisplayServer::Slot {
    int number = 0;
    SimDisplayOptions options;
    std::unique_ptr<SimFirmware> firmware;
    std::unique_ptr<UsbDisplay> usb;
    int generation = 1;
    std::unique_ptr<Connection> connection;  // null while off the bus
    std::optional<Micros> leaveDue, arriveDue;
    ReportTraceFile trace;
    int Port() const { return number - 1; }
    // A display that has stood on the port so far: a fresh one after a swap.
    void Fit(std::vector<uint8_t> flash, bool inFlight) {
        firmware = std::make_unique<SimFirmware>(options, std::move(flash));
        usb = std::make_unique<UsbDisplay>(*firmware, DisplaySerial(number, generation), !options.absent,
                                           options.unplugAfter, inFlight, &trace);
    }
};

UsbDisplayServer::UsbDisplayServer(SimOptions options, bool inFlight, Clock& clock, std::ostream& log)
    : m_options(std::move(options)), m_inFlight(inFlight), m_clock(clock), m_log(log) {}

UsbDisplayServer::~UsbDisplayServer() {
    for (auto& slot : m_slots) Unplug(*slot);
}

void UsbDisplayServer::Say(const Slot& slot, const std::string& what) {
    m_log << "display " << slot.number << ": " << what << std::endl;
}

void UsbDisplayServer::Complain(const std::string& error) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_log << "padsmith-usb-display: " << error << std::endl;
}

bool UsbDisplayServer::Start(std::string& error) {
    for (int number = 1; number <= m_options.displays; ++number) {
        auto slot = std::make_unique<Slot>();
        slot->number = number;
        slot->options = m_options.Display(number);
        Result<std::vector<uint8_t>> flash =
            LoadFlashFile(DisplayFile(m_options.flashFile, number, m_options.displays));
        const std::string traceFile = DisplayFile(m_options.traceFile, number, m_options.displays);
        const Error why = !flash ? flash.error() : traceFile.empty() ? Error() : slot->trace.Open(traceFile);
        if (why) return error = why.message, false;
        slot->Fit(std::move(*flash), m_inFlight);
        if (slot->options.arriveAfterMs) slot->arriveDue = m_clock.Now() + Millis(*slot->options.arriveAfterMs);
        m_slots.push_back(std::move(slot));
    }
    for (auto& slot : m_slots) {
        if (!slot->arriveDue && !Attach(*slot, error)) return false;
    }
    return true;
}

bool UsbDisplayServer::Attach(Slot& slot, std::string& error) {
    if (!VhciHost::WaitPortFree(slot.Port(), kPortWait)) {
        error = "display " + std::to_string(slot.number) + ": vhci-hcd port " + std::to_string(slot.Port()) +
                " is taken";
        return false;
    }
    const int socket = VhciHost::Attach(slot.Port(), 0x10000u | static_cast<unsigned>(slot.number), error);
    if (socket < 0) return false;
    auto connection = std::make_unique<Connection>();
    connection->socket = socket;
    Connection& serving = *connection;
    slot.connection = std::move(connection);
    serving.thread = std::thread([this, &slot, &serving] { Serve(slot, serving); });
    std::lock_guard<std::mutex> lock(m_mutex);
    const std::string location = VhciHost::Location(slot.Port());
    Say(slot, "on the bus at vhci-hcd port " + std::to_string(slot.Port()) +
                  (location.empty() ? "" : " (" + location + ")") + ", serial " + slot.usb->Serial());
    return true;
}

void UsbDisplayServer::Unplug(Slot& slot) {
    if (!slot.connection) return;
    // The thread's read ends; the kernel sees the socket close.
    shutdown(slot.connection->socket, SHUT_RDWR);
    slot.connection->thread.join();
    close(slot.connection->socket);
    slot.connection.reset();
    std::lock_guard<std::mutex> lock(m_mutex);
    Say(slot, "left the bus");
}

void UsbDisplayServer::Serve(Slot& slot, Connection& connection) {
    const int fd = connection.socket;
    std::vector<uint32_t> polls;  // the interrupt IN requests pending: kept until there is a report
    for (;;) {
        usbip::Header header;
        usbip::Command command;
        if (!ReadFull(fd, header.data(), header.size())) break;
        if (!usbip::ParseCommand(header, command)) {
            std::lock_guard<std::mutex> lock(m_mutex);
            Say(slot, "a message from the host that is no USB/IP command; the display leaves");
            break;
        }
        if (command.command == usbip::kCmdUnlink) {
            const auto pending = std::find(polls.begin(), polls.end(), command.unlinkSeqnum);
            const bool wasPending = pending != polls.end();
            if (wasPending) polls.erase(pending);
            const usbip::Header reply = usbip::RetUnlink(command, wasPending ? usbip::kStatusUnlinked : 0);
            if (!WriteFull(fd, reply.data(), reply.size())) break;
            if (wasPending && polls.empty()) {
                // The host stopped polling: the last program let go of the display.
                std::lock_guard<std::mutex> lock(m_mutex);
                if (slot.options.Operated()) slot.leaveDue = m_clock.Now() + Millis(slot.options.leaveAfterMs.value_or(0));
            }
            continue;
        }
        std::vector<uint8_t> out(command.In() ? 0 : command.transferLength);
        if (!ReadFull(fd, out.data(), out.size())) break;
        if (command.endpoint == kInterruptInEndpoint && command.In()) {
            polls.push_back(command.seqnum);
            continue;
        }
        UsbReply reply;
        if (command.endpoint == 0) {
            std::lock_guard<std::mutex> lock(m_mutex);
            reply = slot.usb->Control(command.setup, out, m_clock.Now());
        } else {
            reply.stall = true;
        }
        if (!reply.answered) break;
        const std::vector<uint8_t> message =
            usbip::RetSubmit(command, reply.stall ? usbip::kStatusStall : 0, reply.data, reply.taken);
        if (!WriteFull(fd, message.data(), message.size()) || reply.dropOff) break;
    }
    shutdown(fd, SHUT_RDWR);
    connection.ended = true;
}

std::optional<Micros> UsbDisplayServer::Operate() {
    for (auto& owned : m_slots) {
        Slot& slot = *owned;
        if (slot.connection && slot.connection->ended) Unplug(slot);
        const Micros now = m_clock.Now();
        std::optional<Micros> leave, arrive;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            leave = slot.leaveDue;
            arrive = slot.arriveDue;
        }
        if (leave && *leave <= now) {
            Unplug(slot);
            std::lock_guard<std::mutex> lock(m_mutex);
            slot.leaveDue.reset();
            // A fresh display arrives in its place: factory flash, the port's next serial number.
            if (slot.options.swapMs) {
                slot.arriveDue = now + Millis(*slot.options.swapMs);
                ++slot.generation;
                slot.Fit(FactoryFlash(), m_inFlight);
            }
        }
        if (arrive && *arrive <= now && !slot.connection) {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                slot.arriveDue.reset();
            }
            std::string error;
            if (!Attach(slot, error)) Complain(error);
        }
    }
    std::optional<Micros> next;
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto& slot : m_slots) {
        for (const std::optional<Micros>& due : {slot->leaveDue, slot->arriveDue}) {
            if (due && (!next || *due < *next)) next = due;
        }
    }
    return next;
}

bool UsbDisplayServer::Run(std::string& error) {
    sigset_t signals;
    sigemptyset(&signals);
    for (int number : {SIGTERM, SIGINT, SIGHUP, SIGUSR1}) sigaddset(&signals, number);
    for (;;) {
        const std::optional<Micros> next = Operate();
        Micros wait = kLook;
        if (next) wait = std::clamp(*next - m_clock.Now(), Micros(0), Micros(kLook));
        const timespec timeout{0, static_cast<long>(std::chrono::nanoseconds(wait).count())};
        const int received = sigtimedwait(&signals, nullptr, &timeout);
        if (received == SIGUSR1) {
            for (auto& slot : m_slots) {
                if (slot->connection || slot->arriveDue) continue;
                slot->firmware->PowerUp();
                std::string failed;
                if (!Attach(*slot, failed)) Complain(failed);
            }
        } else if (received > 0) {
            break;
        }
    }
    bool saved = true;
    for (auto& slot : m_slots) {
        Unplug(*slot);
        const std::string file = DisplayFile(m_options.flashFile, slot->number, m_options.displays);
        const Error why = file.empty() ? Error() : SaveFlashFile(file, slot->firmware->Flash());
        if (why) error = why.message, saved = false;
        slot->trace.Close();
    }
    return saved;
}

}  // namespace padsmith::sim
