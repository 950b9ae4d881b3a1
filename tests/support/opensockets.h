#pragma once

#include <QtGlobal>

// The sockets this process holds on a port of 127.0.0.1: listening on it, and both ends of the
// connections to it.
int openSocketCount(quint16 port);
