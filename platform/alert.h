#pragma once

// The messages meant for the user go where the view that has them is told
// (ScreenSaverView::setAlertRoute). Without a route they go to stderr as
// "zarnet: <caption>: <text>" on one line: under a screen-saver host a modal
// window would hang the saver, and XScreenSaver shows a hack's stderr on
// screen instead. Null strings show as "".
void AlertOnStderr(const char* caption, const char* text);
