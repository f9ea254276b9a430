// Helpers shared by the port layer and RTU transport tests: counting the
// process's threads and descriptors, recording the chunks a port thread
// delivers, and stepping engine requests to Done.
#pragma once

#include <dirent.h>
#include <sys/ioctl.h>

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine.h"
#include "port.h"
#include "process_threads.h"
#include "pty_pair.h"
#include "rtu.h"

namespace testing_support {

inline int countDirEntries(const char* path) {
    DIR* dir = opendir(path);
    if (dir == nullptr)
        return -1;
    int n = 0;
    while (struct dirent* e = readdir(dir)) {
        if (e->d_name[0] != '.')
            ++n;
    }
    closedir(dir);
    return n;
}

// threadCount() and threadIds() come from process_threads.h. A joined thread
// leaves /proc a moment after the join, so a count taken then would be one too
// high; ids tell which is which.
// Whether a thread is gone or on its way out (PF_EXITING): a joined thread is
// listed until the kernel has reaped it, which a loaded machine was seen to
// put off for seconds.
inline bool threadEnding(const std::string& id) {
    std::ifstream stat("/proc/self/task/" + id + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return true;
    // After "pid (comm) ": state ppid pgrp session tty_nr tpgid flags ...
    std::istringstream fields(line.substr(line.rfind(')') + 1));
    std::string field;
    for (int i = 0; i < 7; ++i)
        fields >> field;
    return (std::strtoul(field.c_str(), nullptr, 10) & 0x4) != 0;
}
// Threads still running that are not among `before`.
inline size_t threadsBesides(const std::set<std::string>& before) {
    size_t n = 0;
    for (const std::string& id : threadIds())
        n += before.count(id) == 0 && !threadEnding(id) ? 1 : 0;
    return n;
}
inline int fdCount() {
    return countDirEntries("/proc/self/fd");
}

// Polls pred every millisecond until it holds or timeoutMs has passed.
template <class Pred>
bool waitFor(Pred pred, int timeoutMs) {
    uint64_t deadline = nowMs() + (uint64_t)timeoutMs;
    for (;;) {
        if (pred())
            return true;
        if (nowMs() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// Sanitizer runtimes start a helper thread with the first thread of the
// process; start one up front so that baselines taken afterwards hold.
inline void settleRuntimeThreads() {
    std::thread([] {}).join();
}

inline bool slotIsFree(ups::PortSlot* slot) {
    ups::takeStackLock();
    bool free = slot->index == ups::kFree;
    ups::giveStackLock();
    return free;
}

// Bytes waiting in a tty's input queue.
inline int inputQueued(int fd) {
    int n = -1;
    ioctl(fd, TIOCINQ, &n);
    return n;
}

// The chunk boundaries the port thread would find in RTU mode if all of
// `bytes` arrived without a gap (resync clear): the lengths of the chunks it
// would deliver early.
inline std::vector<size_t> rtuEarlyEnds(const std::vector<uint8_t>& bytes) {
    std::vector<size_t> ends;
    size_t start = 0;
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < bytes.size(); ++i) {
        uint8_t b = bytes[i];
        crc ^= b;
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
        size_t len = i + 1 - start;
        bool full = len == (size_t)ups::kChunkSize;
        if ((crc == 0 && len >= 4 &&
             ups::isFrameComplete(bytes.data() + start + 1, (uint16_t)(len - 3))) ||
            full) {
            ends.push_back(len);
            start = i + 1;
            crc = 0xFFFF;
        }
    }
    return ends;
}

// A receive sink that records every chunk with the time it arrived. Port tests
// pass one of the fake owners below; the sink finds its recorder by the owner.
struct Chunk {
    std::vector<uint8_t> bytes;
    uint64_t atMs;
};

class ChunkRecorder {
public:
    void add(const uint8_t* bytes, uint16_t count) {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_chunks.push_back({std::vector<uint8_t>(bytes, bytes + count), nowMs()});
    }
    std::vector<Chunk> chunks() {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_chunks;
    }
    size_t size() {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_chunks.size();
    }
    void clear() {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_chunks.clear();
    }

private:
    std::mutex m_mutex;
    std::vector<Chunk> m_chunks;
};

const int kFakeOwners = ups::kPortSlotCount + 1;
inline ups::MasterInstance g_fakeOwners[kFakeOwners];
inline ChunkRecorder g_recorders[kFakeOwners];

inline ups::MasterInstance* fakeOwner(int i) {
    return &g_fakeOwners[i];
}
inline ChunkRecorder& recorderOf(int i) {
    return g_recorders[i];
}

inline void recordingSink(ups::MasterInstance* owner, const uint8_t* bytes, uint16_t count) {
    g_recorders[owner - g_fakeOwners].add(bytes, count);
}

// Steps a read or a write from Start to Done; returns the result.
inline ResultCode runRead(ups::MasterInstance* instance, uint8_t slave, uint16_t address,
                          uint8_t count, uint16_t* values) {
    int32_t state = ups::Start;
    ResultCode result = InProgress;
    while (state != ups::Done) {
        ups::readHoldingRegisters(instance, slave, address, count, values, &state, &result);
    }
    return result;
}

inline ResultCode runWrite(ups::MasterInstance* instance, uint8_t slave, uint16_t address,
                           uint8_t count, const uint16_t* values) {
    int32_t state = ups::Start;
    ResultCode result = InProgress;
    while (state != ups::Done) {
        ups::writeMultipleRegisters(instance, slave, address, count, values, &state, &result);
    }
    return result;
}

}  // namespace testing_support
