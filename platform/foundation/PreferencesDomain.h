#pragma once

#include "platform/foundation/Value.h"

#include <ctime>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>

namespace platform {

// One preferences domain stored as a property-list file. Reads follow the
// file: when another process replaced it, the next read sees its values.
// Changes are kept as pending until `synchronize` merges them into the file as
// it stands then, so two processes changing different keys lose nothing.
// A file that cannot be read as a dictionary reads as an empty domain and is
// moved aside (and logged) before the first write, never overwritten.
class PreferencesDomain {
public:
    PreferencesDomain(std::string identifier, std::string filePath);

    const std::string& identifier() const { return identifier_; }
    const std::string& filePath() const { return path_; }

    Value get(const std::string& key);
    Dictionary snapshot();
    // A null value removes the key.
    void set(const std::string& key, const Value& value);
    // Re-reads the file, writes pending changes into it; false when writing failed.
    bool synchronize();

    // The file path of the domain with this identifier in the XDG layout.
    static std::string pathForIdentifier(const std::string& identifier);
    // How often the file was read and parsed, for tests.
    std::uint64_t fileReads() const { return fileReads_; }

    // The process-wide domain object for an identifier.
    static PreferencesDomain& named(const std::string& identifier);

private:
    struct FileStamp {
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        timespec modified{};
        // Set by the kernel at every change, unlike the modification time,
        // which any program can put in the future.
        timespec changed{};
        bool operator==(const FileStamp& o) const;
        bool isRecent() const;
    };
    static FileStamp stampOf(const std::string& path);
    void reloadIfChanged();
    Dictionary storedWithPendingChanges() const;
    void reload(const FileStamp& stamp);
    bool setAsideCorruptFile();

    std::string identifier_;
    std::string path_;
    std::recursive_mutex lock_;
    Dictionary stored_;
    std::map<std::string, Value> pending_;  // null = removal
    FileStamp loadedStamp_;
    bool loaded_ = false;
    bool corrupt_ = false;
    std::uint64_t fileReads_ = 0;
};

}  // namespace platform
