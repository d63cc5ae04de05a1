#pragma once
// What screen readers get from the window's own widgets beyond Qt's defaults: a drop-down
// list named by its caption and read by its entry (Qt names lists by their entry alone on
// this platform, so an empty list had no name), the progress strip as a progress bar with
// its value, and the status lamps as texts.

class QComboBox;

namespace app {

// Installs the interfaces above, once for the application.
void installAccessibleInterfaces();
// Lets `list` be named by its accessible name; done before anything asks for its interface.
void nameListByCaption(QComboBox* list);

}  // namespace app
