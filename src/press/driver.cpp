#include "press/driver.h"

#include "app/report.h"

// Placeholder until the press engine lands: the search always times out.
int run_press(int timeout_seconds)
{
    (void)timeout_seconds;
    report("NOTFOUND");
    return 2;
}
