// Threads and facts about the machine.
#pragma once

#include <cstdint>
#include <string>

#include "platform/com_types.h"

namespace plat {

struct ThreadObject;
using ThreadHandle = ThreadObject*;
using ThreadProc = uint32_t (*)(void* argument);

// Starts a thread at once. Null on failure (last error set).
ThreadHandle CreateThread(ThreadProc proc, void* argument);
// Waits until the thread has ended; its exit code goes to *exitCode when given.
bool JoinThread(ThreadHandle thread, uint32_t* exitCode = nullptr);
// Frees the handle of a joined thread. Null is ignored.
void CloseThread(ThreadHandle thread);
// Binds the calling thread to one processor. The result may be ignored.
bool SetCurrentThreadAffinity(uint32_t processor);

uint32_t ProcessorCount();
// Total physical memory in bytes.
uint64_t TotalPhysicalMemory();
// The temporary directory: $TMPDIR, else "/tmp/", always ending with "/";
// on Windows GetTempPathW's answer, always ending with a backslash.
// False on failure (last error set).
bool GetTempPath(std::u16string* path);

}  // namespace plat
