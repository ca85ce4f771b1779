#pragma once

// The Win32 communications calls the port makes, gathered in one table, so that a test can
// stand in for the system and fail any of them with any code.

#include <windows.h>

struct CommCalls
{
    HANDLE(WINAPI* open)(const wchar_t* path); // for reading, exclusively
    BOOL(WINAPI* getState)(HANDLE, LPDCB);
    BOOL(WINAPI* setState)(HANDLE, LPDCB);
    BOOL(WINAPI* setTimeouts)(HANDLE, LPCOMMTIMEOUTS);
    BOOL(WINAPI* clearError)(HANDLE, LPDWORD, LPCOMSTAT);
    BOOL(WINAPI* read)(HANDLE, void* buffer, DWORD size, DWORD* got);
    BOOL(WINAPI* close)(HANDLE);
    DWORD(WINAPI* lastError)();
};

// The calls that ports made from now on make: a test's stand-in, or with nullptr the system's.
void useCommCalls(const CommCalls* calls);
