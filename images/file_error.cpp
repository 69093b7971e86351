// The message boxes of a file that could not be created or written.
#include "images/file_error.h"

#include "platform/host_ui.h"

namespace images_detail {

constexpr UINT kMbSetForeground = 0x00010000;

void ReportOpenFailure(int error) {
    platform::MessageBox(FileErrorText(error), "ERROR:  Couldn't open file", platform::MB_TOPMOST | kMbSetForeground);
}

void ReportWriteFailure(int error) {
    platform::MessageBox(FileErrorText(error), "ERROR:  Couldn't write file", platform::MB_TOPMOST | kMbSetForeground);
}

void ReportSaveFailure(const SaveOutcome& outcome) {
    if (outcome.result == 1) return;
    if (!outcome.opened) ReportOpenFailure(outcome.error);
    else ReportWriteFailure(outcome.error ? outcome.error : kUnknownError);
}

}  // namespace images_detail
