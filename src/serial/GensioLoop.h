#pragma once
// gensio, the library that speaks RFC 2217 and raw TCP for network ports, serves its connections
// from an event loop. One thread waits in that loop for the whole process, so no window and no
// serving thread ever waits on the network itself.

struct gensio_os_funcs;

namespace GensioLoop {
// The process's gensio OS functions, served by one background thread that waits in gensio's
// event loop for the rest of the process. Made at first use; safe from any thread.
gensio_os_funcs* os();
} // namespace GensioLoop
