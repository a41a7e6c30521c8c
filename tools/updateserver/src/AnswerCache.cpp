#include "AnswerCache.h"

#include <system_error>

namespace updateserver {
namespace {

bool Unchanged(const FileStamp& stamp) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(stamp.path, ec);
    if (ec || size != stamp.size) return false;
    const auto changed = std::filesystem::last_write_time(stamp.path, ec);
    return !ec && changed == stamp.changed;
}

std::size_t BytesOf(const std::string& key, const Answer& answer) {
    return key.size() + answer.body.size() + answer.note.size() + answer.contentType.size();
}

}  // namespace

std::string AnswerCache::KeyOf(const std::string& route, const std::string& filesUrl, std::string_view body) {
    std::string key;
    key.reserve(route.size() + filesUrl.size() + body.size() + 2);
    key.append(route).append(1, '\0').append(filesUrl).append(1, '\0').append(body);
    return key;
}

void AnswerCache::ForgetAllBut(const std::shared_ptr<const Catalog>& catalog) {
    if (catalog_ == catalog) return;
    answers_.clear();
    bytes_ = 0;
    catalog_ = catalog;
}

std::optional<Answer> AnswerCache::Find(const std::shared_ptr<const Catalog>& catalog,
                                        const std::string& key) {
    std::lock_guard lock(mutex_);
    ForgetAllBut(catalog);
    const auto it = answers_.find(key);
    if (it == answers_.end()) return std::nullopt;
    for (const FileStamp& stamp : it->second.files) {
        if (!Unchanged(stamp)) {
            bytes_ -= BytesOf(it->first, it->second);
            answers_.erase(it);
            return std::nullopt;
        }
    }
    ++hits_;
    return it->second;
}

void AnswerCache::Keep(const std::shared_ptr<const Catalog>& catalog, std::string key, const Answer& answer) {
    if (answer.status != 200) return;
    const std::size_t bytes = BytesOf(key, answer);
    if (bytes > capacity_) return;
    std::lock_guard lock(mutex_);
    ForgetAllBut(catalog);
    if (bytes_ + bytes > capacity_) {
        answers_.clear();
        bytes_ = 0;
    }
    const auto [it, added] = answers_.try_emplace(std::move(key), answer);
    if (added) bytes_ += bytes;
}

std::size_t AnswerCache::Hits() const {
    std::lock_guard lock(mutex_);
    return hits_;
}

}  // namespace updateserver
