#pragma once

// Shows every message of the program in a window of its own over the active
// one, from now on; an OAuth2 sign-in opens its page in the system browser.
void showMessagesInWindows();
