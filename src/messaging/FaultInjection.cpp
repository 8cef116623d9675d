#include "Detail.h"

#include "store/Env.h"

#include <unordered_map>
#include <string>
#include <vector>

namespace messaging::faults {

namespace {

struct CallSwitch {
    std::string operation;
    int base;   // calls counted before the switch was set
    int nth;
    std::int32_t number;
    bool repeat;
};

struct WriteSwitch {
    int base;
    int nth;
    std::int32_t number;
};

struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>()(s); }
};

struct Switches {
    std::unordered_map<std::string, int, NameHash, std::equal_to<>> calls;
    std::vector<CallSwitch> callSwitches;
    std::vector<WriteSwitch> writeSwitches;
    int writes = 0;
};

Switches &switches()
{
    static Switches s;
    return s;
}

int countOf(const Switches &s, std::string_view operation)
{
    auto it = s.calls.find(operation);
    return it == s.calls.end() ? 0 : it->second;
}

// Fails the chosen store writes for real: the engine asks it before each write
// statement of an operation and reports its fault as a failure of its own.
class WriteFaults : public store::Env {
public:
    std::optional<Fault> before(Step step) override
    {
        if (step != Step::Write)
            return std::nullopt;
        Switches &s = switches();
        int count = ++s.writes;
        for (const WriteSwitch &sw : s.writeSwitches) {
            if (count - sw.base == sw.nth)
                return Fault{sw.number == ErrorCode::DiskFull ? store::Failure::DiskFull : store::Failure::IoError,
                             "Store write " + std::to_string(sw.nth) + " failed (injected fault)"};
        }
        return std::nullopt;
    }
};

WriteFaults g_writeFaults;

} // namespace

void failCall(std::string_view operation, int nth, std::int32_t number, bool repeat)
{
    Switches &s = switches();
    s.callSwitches.push_back({std::string(operation), countOf(s, operation), nth, number, repeat});
}

void failWrite(int nth, std::int32_t number)
{
    Switches &s = switches();
    s.writeSwitches.push_back({s.writes, nth, number});
    store::Env::install(&g_writeFaults);
}

void clear()
{
    Switches &s = switches();
    if (&store::Env::current() == &g_writeFaults)
        store::Env::install(nullptr);
    s.calls.clear();
    s.callSwitches.clear();
    s.writeSwitches.clear();
    s.writes = 0;
}

int callCount(std::string_view operation)
{
    return countOf(switches(), operation);
}

void check(std::string_view operation)
{
    Switches &s = switches();
    auto it = s.calls.find(operation);
    if (it == s.calls.end())
        it = s.calls.emplace(std::string(operation), 0).first;
    int count = ++it->second;
    for (const CallSwitch &sw : s.callSwitches) {
        if (sw.operation != operation)
            continue;
        int k = count - sw.base;
        if (k == sw.nth || (sw.repeat && k > sw.nth))
            throw Error(sw.number, std::string(operation) + " failed (injected fault)");
    }
}

} // namespace messaging::faults
