// Fault soak of the pixel route: the real tool, run many times under Wine 8
// against the simulated launcher, with one launcher fault drawn per run, and
// the tool's promises checked after every run (soak_checks.h). Every run
// follows from (seed, run index) alone, so a failing run is replayed by its
// own command line.
//
//   fault_soak.exe [--seed N] [--runs N] [--run I] [--walk]
#include "soak/soak_checks.h"

namespace {

// The pixel route trusts a green button 3 s after the window first shows.
const int TIMEOUT_S = 6;

const Fault FAULTS[] = {
    {"busy-stalls", L"--stalls", L"%u,100,4000", 1, 1000000, NO_ACTION, nullptr},  // the moment seeds the stalls
    {"hang", L"--hang-after-ms", L"%u", 300, 8000, NO_ACTION, nullptr},
    // Answers the tool's probe, then stops: the next window call would wait for good.
    {"hang-after-probe", L"--hang-after-probe-ms", L"%u", 0, 6000, NO_ACTION, nullptr},
    {"killed", nullptr, nullptr, 200, 9000, KILL_LAUNCHER, nullptr},
    {"window-closed", L"--close-after-ms", L"%u", 500, 9000, NO_ACTION, nullptr},
    {"button-late", L"--button-after-ms", L"%u", 500, 6500, NO_ACTION, nullptr},
    {"hide-on-click", L"--on-click", L"hide-button", 0, 0, NO_ACTION, nullptr},
    {"clicks-ignored", L"--on-click", L"ignore", 0, 0, NO_ACTION, nullptr},
    // A pop-up covers the page until Escape: press sends "POPUP? Escape" when
    // it sees no button for a while; find touches nothing and ends NOTFOUND.
    {"escape-popup", L"--popup-until-escape", nullptr, 0, 0, NO_ACTION, nullptr},
    {"minimised", L"--minimized", nullptr, 0, 0, NO_ACTION, nullptr},
    {"two-windows", L"--windows", L"2", 0, 0, NO_ACTION, nullptr},
    {"layered", L"--layered", nullptr, 0, 0, NO_ACTION, nullptr},
};
const int FAULT_COUNT = sizeof FAULTS / sizeof FAULTS[0];
static_assert(FAULT_COUNT <= MAX_FAULTS, "the totals hold MAX_FAULTS faults");

const int COMMANDS[] = {PRESS, FIND, SHOW, MINIMIZE};

}  // namespace

int main(int argc, char** argv)
{
    SoakSetup setup{"tools/wine-run", FAULTS, FAULT_COUNT, COMMANDS, 4, TIMEOUT_S,
                    // Wine 8 has no UI Automation: a found target is pressed by message and click.
                    2, 0, L""};
    return soak_main(argc, argv, setup);
}
