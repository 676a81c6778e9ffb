#pragma once

// The Windows headers in the one order that works with sockets: winsock2.h
// must come before windows.h, which would otherwise bring the old winsock.h.

#include <winsock2.h>

#include <windows.h>
