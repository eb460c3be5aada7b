// What loading a file gave (a parsed mesh, a decoded picture), kept for the next load of the
// same file. An entry is keyed on the file as found on disk (mapped path, size, modification
// time) and lives only as long as something still holds its value: the cache keeps weak
// references, so the last user's release frees it. A file written so recently that a rewrite
// could keep its size and time stamp is also compared by content before its entry is reused.
// Single-threaded, like the loaders that use it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "platform/core/file_bytes.h"

namespace core {

// One load's look at its file: the key, and the bytes when they had to be read to check.
struct LoadProbe {
    FileKey key;
    bool keyed = false;        // the path names a regular file
    bool haveBytes = false;    // `bytes` holds the file's content
    std::vector<uint8_t> bytes;
};

template <class T>
class LoadCache {
public:
    // The value kept for the file `path` names, or null: then load it and Put it. The probe
    // keeps what was learnt, including the file's bytes when they were read for a check.
    std::shared_ptr<T> Find(const char* path, LoadProbe& probe) {
        probe = LoadProbe();
        if (!FileKeyOf(path, probe.key)) return nullptr;
        probe.keyed = true;
        auto it = entries_.find(probe.key);
        if (it == entries_.end()) return nullptr;
        std::shared_ptr<T> value = it->second.value.lock();
        if (!value) {
            entries_.erase(it);
            return nullptr;
        }
        if (!it->second.settled) {
            if (!ReadFileBytes(path, probe.bytes)) return nullptr;
            probe.haveBytes = true;
            if (HashBytes(probe.bytes) != it->second.hash) return nullptr;
            it->second.settled = Settled(probe.key);
        }
        return value;
    }

    // Keeps `value`, made from `probe.bytes`, for later loads of the same file.
    void Put(const LoadProbe& probe, const std::shared_ptr<T>& value) {
        if (!probe.keyed || !probe.haveBytes || !value) return;
        if (entries_.size() >= sweepAt_) Sweep();
        Entry& e = entries_[probe.key];
        e.value = value;
        e.hash = HashBytes(probe.bytes);
        e.settled = Settled(probe.key);
    }

    // Entries whose value is still in use.
    size_t Live() const {
        size_t n = 0;
        for (const auto& kv : entries_) n += kv.second.value.expired() ? 0 : 1;
        return n;
    }

private:
    struct Entry {
        std::weak_ptr<T> value;
        uint64_t hash = 0;
        bool settled = false;   // the time stamp alone tells a rewrite
    };

    // A rewrite of a file changes its time stamp once the stamp is older than the coarsest
    // file time resolution (2 s) before now.
    static bool Settled(const FileKey& key) {
        return WallClockNs() - key.mtimeNs > int64_t(2) * 1000000000;
    }

    void Sweep() {
        for (auto it = entries_.begin(); it != entries_.end();) {
            if (it->second.value.expired()) it = entries_.erase(it);
            else ++it;
        }
        sweepAt_ = 2 * entries_.size() + 16;
    }

    std::map<FileKey, Entry> entries_;
    size_t sweepAt_ = 16;
};

}  // namespace core
