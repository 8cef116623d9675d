#include "TerminalProgress.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ostream>

namespace larkspur {

namespace {

constexpr std::chrono::milliseconds BarEvery{100};
constexpr std::chrono::seconds LineEvery{5};
constexpr int BarWidth = 24;

ProgressObserver &observer()
{
    static ProgressObserver watching;
    return watching;
}

std::string count(std::int64_t done, std::int64_t total, const char *what)
{
    std::string text = std::to_string(done);
    if (total >= 0)
        text += " of " + std::to_string(total);
    return text + " " + what;
}

std::string duration(double seconds)
{
    const auto whole = static_cast<long long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
    return text;
}

// The share of the stage done, from the items when their total is known, else from the
// users; negative when neither total is known.
double fraction(const actions::Progress &p)
{
    if (p.itemsTotal > 0)
        return static_cast<double>(p.itemsDone) / static_cast<double>(p.itemsTotal);
    if (p.usersTotal > 0)
        return static_cast<double>(p.usersDone) / static_cast<double>(p.usersTotal);
    if (p.itemsTotal == 0 || p.usersTotal == 0)
        return 1.0;
    return -1.0;
}

} // namespace

ProgressObserver setProgressObserver(ProgressObserver watching)
{
    std::swap(observer(), watching);
    return watching;
}

TerminalProgress::Mode TerminalProgress::modeFor(bool quiet)
{
    if (quiet)
        return Mode::Quiet;
    return ::isatty(STDERR_FILENO) ? Mode::Bar : Mode::Lines;
}

TerminalProgress::TerminalProgress(Mode mode, std::ostream &out) : m_mode(mode), m_out(out) {}

TerminalProgress::~TerminalProgress()
{
    finish();
}

actions::ProgressCallback TerminalProgress::callback()
{
    if (m_mode == Mode::Quiet && !observer())
        return {};
    return [this](const actions::Progress &progress) { update(progress); };
}

void TerminalProgress::update(const actions::Progress &progress)
{
    if (observer())
        observer()(progress);
    if (m_mode == Mode::Quiet)
        return;
    const Clock::time_point now = Clock::now();
    const bool newStage = !m_any || std::strcmp(m_last.stage, progress.stage) != 0;
    if (newStage) {
        // The stage that ends is shown as it ended before the next one begins.
        if (m_any)
            show(now);
        if (m_barOpen) {
            m_out << "\n";
            m_barOpen = false;
        }
        m_stageStart = now;
    }
    m_last = progress;
    m_any = true;
    const auto every = m_mode == Mode::Bar ? std::chrono::duration_cast<Clock::duration>(BarEvery)
                                           : std::chrono::duration_cast<Clock::duration>(LineEvery);
    if (newStage || now - m_shown >= every)
        show(now);
}

void TerminalProgress::show(Clock::time_point now)
{
    m_shown = now;
    const std::string text = describe(m_last, now);
    if (m_mode == Mode::Lines) {
        m_out << "larkspur-store: " << text << "\n" << std::flush;
        return;
    }
    std::string bar;
    if (const double share = fraction(m_last); share >= 0) {
        const int filled = static_cast<int>(share * BarWidth + 1e-9);
        bar = "[" + std::string(static_cast<std::size_t>(filled), '#')
              + std::string(static_cast<std::size_t>(BarWidth - filled), '.') + "] ";
    }
    m_out << "\r" << bar << text << "\033[K" << std::flush;
    m_barOpen = true;
}

std::string TerminalProgress::describe(const actions::Progress &p, Clock::time_point now) const
{
    std::string text = std::string(p.stage) + ": ";
    if (p.usersTotal >= 0 || p.usersDone > 0)
        text += count(p.usersDone, p.usersTotal, "users") + ", ";
    text += count(p.itemsDone, p.itemsTotal, "items");
    const double seconds = std::chrono::duration<double>(now - m_stageStart).count();
    if (seconds < 0.5 || p.itemsDone == 0)
        return text;
    const double rate = static_cast<double>(p.itemsDone) / seconds;
    text += ", " + std::to_string(static_cast<long long>(rate + 0.5)) + " items/s";
    const double share = fraction(p);
    if (share > 0 && share < 1)
        text += ", about " + duration(seconds * (1 - share) / share) + " left";
    return text;
}

void TerminalProgress::finish()
{
    if (m_mode == Mode::Quiet || !m_any)
        return;
    show(Clock::now());
    if (m_barOpen)
        m_out << "\n" << std::flush;
    m_barOpen = false;
    m_any = false;
}

} // namespace larkspur
