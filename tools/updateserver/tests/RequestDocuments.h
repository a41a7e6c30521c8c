#pragma once
// The request documents as the updater sends them: the declaration "<?xml version='1.0' ?>" directly
// followed by the serialised tree, and helpers to compare answers by their structure.

#include <string>

std::string VersionCheckRequest(const std::string& name, const std::string& spec);
std::string NoticeRequest(const std::string& os, const std::string& locale);
std::string FileUpdateRequest(const std::string& name, const std::string& spec, const std::string& category,
                              const std::string& id, const std::string& installedVersion);

// The same document with line breaks and indentation between its elements, as some DOM serialisers
// write it.
std::string Indented(const std::string& compactXml);

// Empty when both documents have the same elements in the same order with the same trimmed texts;
// otherwise where they first differ.
std::string TreeDifference(const std::string& actualXml, const std::string& expectedXml);
