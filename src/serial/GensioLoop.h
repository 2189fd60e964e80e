#pragma once
// gensio's event loop for the whole process: the network lines register their connections with
// it, and one background thread serves them, so neither a window nor a command ever waits inside
// gensio for the network.

struct gensio_os_funcs;

namespace GensioLoop {

// The process's gensio OS functions, served by one background thread that waits in gensio's
// event loop for the rest of the process. Made at first use; safe from any thread.
gensio_os_funcs* os();

} // namespace GensioLoop
