#pragma once

// What both programs settle before their QApplication exists, as Qt requires: high-DPI scaling
// with the screen's factor passed through as it is (125 %, 150 %, 175 % too, not rounded to a
// whole number), so that the forms keep their geometry in device-independent pixels and their
// texts fit at any scale; and no "?" context-help button in the dialogs' title bars, which would
// do nothing here.
void prepareApplication();
