// Fault soak of the UI Automation route: the real tool, run many times under
// Wine 10 (whose client is real) against the simulated launcher serving a
// page, with one fault drawn per run, and the same promises checked after
// every run as in the pixel soak (soak_checks.h). Wine 10's client waits for
// good on a provider whose thread has stopped, so the hangs here are drawn
// at every stage of a run.
//
//   tools/wine10-run build/<dir>/fault_soak_uia.exe [--seed N] [--runs N] [--run I] [--walk]
#include "soak/soak_checks.h"
#include "support/child_process.h"

namespace {

// Long enough for a few scans under Wine 10 (one costs 1 to 6 s) and for
// the Escape that the store pop-up needs.
const int TIMEOUT_S = 10;

const wchar_t HOME[] = L"kit\\pages\\home-en.page";
const wchar_t OTHER_PROFILE[] = L"kit\\pages\\other-profile.page";
const wchar_t STORE_POPUP[] = L"kit\\pages\\store-popup.page";
const wchar_t PROGRESS[] = L"tests\\soak\\pages\\play-progress.page";

const Fault FAULTS[] = {
    // The thread stops before the tool's first scan, during the scans (a page
    // where the search goes on to the time-out), during the press (at the
    // click's button down), during the watch after a press.
    {"hang-before-scan", L"--hang-after-ms", L"%u", 100, 600, WAIT_FOR_HANG, HOME},
    {"hang-in-scan", L"--hang-after-ms", L"%u", 1500, 8000, NO_ACTION, OTHER_PROFILE},
    {"hang-in-press", L"--hang-on-button-down", nullptr, 0, 0, NO_ACTION, HOME},
    {"hang-in-watch", L"--hang-after-ms", L"%u", 3000, 14000, NO_ACTION, PROGRESS},
    {"busy-stalls", L"--stalls", L"%u,100,4000", 1, 1000000, NO_ACTION, HOME},  // the moment seeds the stalls
    {"killed", nullptr, nullptr, 200, 9000, KILL_LAUNCHER, HOME},
    {"window-closed", L"--close-after-ms", L"%u", 500, 9000, NO_ACTION, HOME},
    {"play-late", L"--element-after-ms", L"play,%u", 500, 6500, NO_ACTION, HOME},
    {"store-popup", nullptr, nullptr, 0, 0, NO_ACTION, STORE_POPUP},
};
const int FAULT_COUNT = sizeof FAULTS / sizeof FAULTS[0];
static_assert(FAULT_COUNT <= MAX_FAULTS, "the totals hold MAX_FAULTS faults");

const int COMMANDS[] = {PRESS, FIND, DUMP, SHOW};

}  // namespace

int main(int argc, char** argv)
{
    SoakSetup setup{"tools/wine10-run", FAULTS, FAULT_COUNT, COMMANDS, 4, TIMEOUT_S,
                    // invoke and legacy (refused by Wine 10's client), message, click
                    4, 1, windows_path(KV6_SOURCE_DIR)};
    return soak_main(argc, argv, setup);
}
