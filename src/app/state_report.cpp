#include "app/state_report.h"

#include "app/report.h"

static const char* const CAUSE_WORDS[CAUSE_COUNT] = {
    "launcher-elevated", "launcher-cloaked", "launcher-hidden", "session-not-present", "full-screen",
    "presentation",      "busy",             "foreground-refused", "high-contrast",
};

const char* cause_word(int cause)
{
    return cause >= 0 && cause < CAUSE_COUNT ? CAUSE_WORDS[cause] : nullptr;
}

int report_state(StateReports* reports, int cause)
{
    const char* word = cause_word(cause);
    if (!word || (reports->named & (1u << cause)))
        return 0;
    reports->named |= 1u << cause;
    report("STATE %s", word);
    return 1;
}
