#include "history/RunRecord.h"

#include "base/HostName.h"
#include "base/UtcTime.h"
#include "base/Version.h"
#include "history/RecordId.h"

namespace padsmith::history {

RunRecord StartRunRecord(const std::string& command) {
    RunRecord record;
    record.id = NewRecordId();
    record.started = UtcTimestampNow();
    record.host = HostName();
    record.version = PADSMITH_VERSION;
    record.command = command;
    return record;
}

}  // namespace padsmith::history
