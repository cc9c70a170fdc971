// IIDs of the two pattern interfaces that uia_client.h declares itself when
// the toolchain's headers only forward-declare them.
#include "uia/uia_client.h"

#ifdef KV6_DEFINE_IID_INVOKE_PATTERN
extern "C" const IID IID_IUIAutomationInvokePattern = {
    0xfb377fbe, 0x8ea6, 0x46d5, {0x9c, 0x73, 0x64, 0x99, 0x64, 0x2d, 0x30, 0x59}};
#endif
#ifdef KV6_DEFINE_IID_SELECTION_ITEM_PATTERN
extern "C" const IID IID_IUIAutomationSelectionItemPattern = {
    0xa8efa66a, 0x0fda, 0x421a, {0x91, 0x94, 0x38, 0x02, 0x1f, 0x35, 0x78, 0xea}};
#endif
