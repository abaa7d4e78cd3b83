#pragma once

#include "logging/Logger.h"
#include "support/sim/CapturingSystemLog.h"

#include <memory>

namespace sm::test {

// Loggers whose ordinary messages and trace lines land in one capturing log; tracing on by default.
struct TestLoggers {
    explicit TestLoggers(bool tracing = true)
        : log(std::make_shared<CapturingSystemLog>()),
          loggers(Loggers::make(log, TraceLog::memoryOnly(tracing))) {}

    std::shared_ptr<CapturingSystemLog> log;
    Loggers loggers;
};

} // namespace sm::test
