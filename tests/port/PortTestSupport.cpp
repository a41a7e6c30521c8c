#include "PortTestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "scfilo.h"

namespace port_test {
namespace {

std::string Env(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value && *value ? value : fallback;
}

}  // namespace

std::string PrinterName() { return Env("SCFILO_TEST_PRINTER", "ScFilo Test Printer"); }
std::string UnsupportedPrinterName() { return Env("SCFILO_TEST_UNSUPPORTED_PRINTER", "ScFilo Test LPT"); }
std::string AbsentPrinterName() { return Env("SCFILO_TEST_ABSENT_PRINTER", "ScFilo Test Absent"); }
std::string UsbPrinterName() { return Env("SCFILO_TEST_USB_PRINTER", "ScFilo Test USB"); }
std::uint16_t PrinterModel() {
    return static_cast<std::uint16_t>(std::strtoul(Env("SCFILO_TEST_MODEL", "0x2107").c_str(), nullptr, 0));
}
unsigned ComNumber() {
    return static_cast<unsigned>(std::strtoul(Env("SCFILO_TEST_COM", "11").c_str(), nullptr, 10));
}

std::wstring SimulatorLogPath() {
    std::string path = Env("SCFILO_TEST_LOG", "");
    return std::wstring(path.begin(), path.end());
}

std::vector<std::string> SimulatorLog() {
    std::vector<std::string> lines;
    std::ifstream in{std::filesystem::path(SimulatorLogPath())};
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

Bytes Command(char letter) {
    Bytes b{0x1B, 'i', 'F', static_cast<std::uint8_t>(letter)};
    if (letter == 'L' || letter == 'l') b.push_back(0);
    return b;
}

Bytes Le32(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
}

std::uint32_t ReadLe32(const Bytes& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes FirmwareHeader(const std::string& name, std::uint32_t dataLength, std::uint16_t model,
                     std::uint8_t headerLength) {
    Bytes h(headerLength, 0);
    h[0] = 1;
    h[1] = headerLength;
    h[2] = static_cast<std::uint8_t>(model);
    h[3] = static_cast<std::uint8_t>(model >> 8);
    h[7] = 6;
    Bytes length = Le32(dataLength);
    std::copy(length.begin(), length.end(), h.begin() + 16);
    std::copy_n(name.begin(), std::min<std::size_t>(16, name.size()), h.begin() + 32);
    if (headerLength > 64) {
        std::string version = "2.00", spec = "ENG_USA";
        std::copy(version.begin(), version.end(), h.begin() + 64);
        std::copy(spec.begin(), spec.end(), h.begin() + 69);
    }
    return h;
}

Bytes Pattern(std::size_t size, std::uint8_t seed) {
    Bytes b(size);
    std::uint32_t x = 0x9E3779B9u ^ seed;
    for (auto& byte : b) {
        x = x * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(x >> 24);
    }
    return b;
}

std::uint32_t Fnv1a(const Bytes& bytes) {
    std::uint32_t h = 2166136261u;
    for (std::uint8_t b : bytes) h = (h ^ b) * 16777619u;
    return h;
}

static std::string Field(const Bytes& record, std::size_t at, std::size_t size) {
    if (record.size() < at + size) return {};
    auto begin = record.begin() + static_cast<std::ptrdiff_t>(at);
    auto end = std::find(begin, begin + static_cast<std::ptrdiff_t>(size), 0);
    return std::string(begin, end);
}
std::string NameOfRecord(const Bytes& record) { return Field(record, 32, 16); }
std::string SpecOfRecord(const Bytes& record) { return Field(record, 69, 7); }

bool Send(const Bytes& bytes, DWORD timeoutMs) {
    DWORD written = 0;
    return ScFiloWrite(bytes.data(), static_cast<DWORD>(bytes.size()), &written, timeoutMs) &&
           written == bytes.size();
}

Bytes Gather(std::size_t count, DWORD perReadMs, DWORD totalMs, int* reads) {
    Bytes out(count);
    std::size_t have = 0;
    ULONGLONG deadline = Now() + totalMs;
    if (reads) *reads = 0;
    while (have < count && Now() < deadline) {
        DWORD left = static_cast<DWORD>(deadline - Now());
        DWORD got = 0;
        if (!ScFiloRead(out.data() + have, static_cast<DWORD>(count - have), &got, std::min(perReadMs, left)))
            break;
        if (got > 0 && reads) ++*reads;
        have += got;
    }
    out.resize(have);
    return out;
}

Download SendFile(const Bytes& header, const Bytes& data) {
    Download d;
    if (!Send(Command('D')) || !Send(header)) return d;
    Bytes status = Gather(32, 2000, 2000);
    std::uint32_t sent = 0;
    while (status.size() == 32 && status[18] == 1) {
        std::uint32_t credit =
            std::min<std::uint32_t>(ReadLe32(status, 24), static_cast<std::uint32_t>(data.size()) - sent);
        if (credit == 0) break;
        while (credit > 0) {
            std::uint32_t piece = std::min<std::uint32_t>(512, credit);
            Bytes chunk(data.begin() + sent, data.begin() + sent + piece);
            if (!Send(Le32(piece)) || !Send(chunk)) {
                d.failedAfter = sent;
                return d;
            }
            d.pieces.push_back(piece);
            sent += piece;
            credit -= piece;
        }
        DWORD wait = sent == data.size()
                         ? std::max<DWORD>(2000, static_cast<DWORD>(data.size() * 1500ull / 1000000))
                         : 2000;
        status = Gather(32, wait, wait);
    }
    d.lastStatus = status;
    d.failedAfter = sent;
    d.completed = sent == data.size() && status.size() == 32 && status[18] == 1 && ReadLe32(status, 24) == 0;
    return d;
}

ULONGLONG Now() { return GetTickCount64(); }

}  // namespace port_test
