#include "platform/foundation/PreferencesDomain.h"

#include "platform/foundation/Clock.h"
#include "platform/foundation/Date.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/LogSink.h"
#include "platform/foundation/PropertyList.h"
#include "shared/PreferencesContract.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

bool PreferencesDomain::FileStamp::operator==(const FileStamp& o) const {
    return exists == o.exists && device == o.device && inode == o.inode && size == o.size &&
           modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec &&
           changed.tv_sec == o.changed.tv_sec && changed.tv_nsec == o.changed.tv_nsec;
}

PreferencesDomain::PreferencesDomain(std::string identifier, std::string filePath)
    : identifier_(std::move(identifier)), path_(std::move(filePath)) {}

std::string PreferencesDomain::pathForIdentifier(const std::string& identifier) {
    return preferences_contract::fileInConfigFolder(paths::configDirectory(), identifier);
}

PreferencesDomain& PreferencesDomain::named(const std::string& identifier) {
    static std::mutex registryLock;
    static std::map<std::string, std::unique_ptr<PreferencesDomain>> registry;
    std::lock_guard<std::mutex> guard(registryLock);
    // Tests move HOME and the XDG folders between cases; the path decides.
    const std::string path = pathForIdentifier(identifier);
    auto& slot = registry[path];
    if (!slot) slot = std::make_unique<PreferencesDomain>(identifier, path);
    return *slot;
}

PreferencesDomain::FileStamp PreferencesDomain::stampOf(const std::string& path) {
    FileStamp stamp;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return stamp;
    stamp.exists = true;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.size = st.st_size;
    stamp.modified = st.st_mtim;
    stamp.changed = st.st_ctim;
    return stamp;
}

void PreferencesDomain::reload(const FileStamp& stamp) {
    const bool alreadyReported = loaded_ && corrupt_ && stamp == loadedStamp_;
    loadedStamp_ = stamp;
    loaded_ = true;
    corrupt_ = false;
    stored_.clear();
    if (!stamp.exists) return;
    ++fileReads_;
    auto value = plist::readFile(path_);
    if (value && value->isDictionary()) {
        stored_ = value->dictionaryValue();
        return;
    }
    corrupt_ = true;
    if (!alreadyReported)
        LogSink::write("Preferences file " + path_ +
                       " cannot be read; using no stored settings. It is kept aside before the next write.");
}

// File times are coarse and inode numbers are reused, so a file replaced within
// the same tick can carry the stamp of the one it replaced. A file that
// changed so recently is read again rather than trusted. The change time
// says when, whatever modification time the file was given.
bool PreferencesDomain::FileStamp::isRecent() const {
    if (!exists) return false;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const auto age = now.tv_sec - changed.tv_sec;
    return age >= 0 && age <= 2;
}

void PreferencesDomain::reloadIfChanged() {
    const FileStamp stamp = stampOf(path_);
    if (!loaded_ || !(stamp == loadedStamp_) || stamp.isRecent()) reload(stamp);
}

Value PreferencesDomain::get(const std::string& key) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (auto p = pending_.find(key); p != pending_.end()) return p->second;
    reloadIfChanged();
    auto it = stored_.find(key);
    return it == stored_.end() ? Value() : it->second;
}

Dictionary PreferencesDomain::snapshot() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    reloadIfChanged();
    return storedWithPendingChanges();
}

Dictionary PreferencesDomain::storedWithPendingChanges() const {
    Dictionary merged = stored_;
    for (const auto& [k, v] : pending_) {
        if (v.isNull())
            merged.erase(k);
        else
            merged[k] = v;
    }
    return merged;
}

void PreferencesDomain::set(const std::string& key, const Value& value) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    pending_[key] = value;
}

bool PreferencesDomain::setAsideCorruptFile() {
    const std::string base = path_ + ".unreadable-" + Date::now().format("%Y%m%d%H%M%S%F");
    // link() never replaces an earlier copy kept aside under the same name.
    for (int attempt = 1; attempt < 100; ++attempt) {
        const std::string aside = attempt == 1 ? base : base + "-" + std::to_string(attempt);
        if (::link(path_.c_str(), aside.c_str()) == 0) {
            ::unlink(path_.c_str());
            LogSink::write("Unreadable preferences file " + path_ + " kept as " + aside);
            return true;
        }
        if (errno != EEXIST) break;
    }
    LogSink::write("Cannot keep the unreadable preferences file " + path_ + " aside; not writing it.");
    return false;
}

bool PreferencesDomain::synchronize() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    // Merge into the file as it stands now, so another process's keys survive.
    reload(stampOf(path_));
    if (pending_.empty()) return true;
    if (corrupt_ && !setAsideCorruptFile()) return false;
    const Dictionary merged = storedWithPendingChanges();
    FileManager::createDirectory(paths::deletingLastComponent(path_), true);
    if (!FileManager::writeAtomically(path_, plist::serialize(Value(merged)), 0600)) {
        LogSink::write("Cannot write preferences file " + path_);
        return false;
    }
    pending_.clear();
    reload(stampOf(path_));
    return true;
}

}  // namespace platform
