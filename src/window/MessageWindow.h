#pragma once

// Shows every message of the program in a window of its own over the active
// one, from now on.
void showMessagesInWindows();
