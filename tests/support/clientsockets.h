#pragma once

#include <QtGlobal>

// This process's open TCP connections to a port of 127.0.0.1: the client ends of them, in any
// state but the wait after a close, when no program holds the socket any more.
int connectionsTo(quint16 port);
