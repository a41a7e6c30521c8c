#pragma once
// Answers to the exchanges, kept by request while the catalog stays the same. PCs of one model and
// region send the same request document, and making its answer costs an XML parse and a walk of the
// catalog each time; a kept answer is a look-up. An answer that names a file's size and checksum is
// kept only while that file is unchanged on disk, as the checksums themselves are.

#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include "Catalog.h"
#include "ExchangeResponder.h"

namespace updateserver {

class AnswerCache {
  public:
    // At most this many bytes of keys and answers are kept; past it the cache starts afresh.
    explicit AnswerCache(std::size_t capacity = 16 << 20) : capacity_(capacity) {}

    // The key of a request: the exchange, the address files are served under, and the body as sent.
    static std::string KeyOf(const std::string& route, const std::string& filesUrl, std::string_view body);

    // The answer kept for the key under this catalog, if its files are as they were.
    std::optional<Answer> Find(const std::shared_ptr<const Catalog>& catalog, const std::string& key);
    // Keeps a successful answer (any other is made again: a failure may be passing).
    void Keep(const std::shared_ptr<const Catalog>& catalog, std::string key, const Answer& answer);

    // How many answers were given from the cache.
    std::size_t Hits() const;

  private:
    void ForgetAllBut(const std::shared_ptr<const Catalog>& catalog);

    const std::size_t capacity_;
    mutable std::mutex mutex_;                // guards everything below
    std::shared_ptr<const Catalog> catalog_;  // the catalog the answers were made from
    std::unordered_map<std::string, Answer> answers_;
    std::size_t bytes_ = 0;
    std::size_t hits_ = 0;
};

}  // namespace updateserver
