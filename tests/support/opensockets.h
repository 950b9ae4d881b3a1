#pragma once

// The sockets this process holds open: listening ones and both ends of its own connections.
int openSocketCount();
