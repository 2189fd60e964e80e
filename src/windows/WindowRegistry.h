#pragma once
// How each window of the program is made. The windows open one another only through
// WindowServices, so none of them includes another's header; this is the one place that knows
// them all.

class WindowServices;

void registerWindows(WindowServices& services);
