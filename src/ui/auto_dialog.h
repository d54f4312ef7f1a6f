// Auto programming windows (stand-in until the dialog and its result windows
// arrive; only the declarations are final).
#pragma once

class QWidget;

namespace ostrand {
class DocumentCore;
}

namespace ostrand::ui {

// Result windows of auto programming (NG / OK / continue) shown over parent.
void installAutoResultWindows(DocumentCore& core, QWidget* parent);
// The Auto Programming dialog (Command menu, toolbar); returns when it closes.
void execAutoProgramming(DocumentCore& core, QWidget* parent);

}  // namespace ostrand::ui
