#pragma once
// The body of an answer with status 200 (or 206, the rest of a download), read on its request's
// worker: into memory for an exchange (never more than the cap), or into a file for a download,
// which may take as long as it keeps moving. An answer that ends before the length it announced is
// cut: an exchange's is asked for again (ConnectionLost), a download's goes on from where it broke
// (Interrupted; the request's download point says how far it came). A web page where the server's
// XML or a file was expected is a network's sign-in page (SignInRequired).

#include <string>

#include "AUConnection.h"

class CHttpRequest;

namespace scup::http {

enum class AnswerMode { Text, File };

// Answers held in memory never exceed this: a server that sends more is broken or hostile.
constexpr size_t kMaxAnswerBytes = 8u << 20;

// A download brings at least minimumBytes in every window of windowMs, or fails. Fixed for the
// program; a test may make the window short.
void SetStallRule(unsigned long long minimumBytes, unsigned long windowMs);

// Text: target gets the answer. File: target is the file's path, and a body longer than
// fileLimit (0: no limit) is refused, before a byte is written where its length is announced. A
// download whose round asked for the rest (and got it) is written on from its download point.
// Whether the first bytes of a body are those of a web page.
bool LooksLikeWebPage(const char* bytes, size_t count);

ServerResult ReadAnswer(CHttpRequest& request, std::wstring& target, AnswerMode mode,
                        const DownloadProgress& progress, unsigned long long fileLimit);

}  // namespace scup::http
