// Files served with GET: exact bytes with their Content-Length, streamed from disk, never from outside
// the catalog folder.

#include <gtest/gtest.h>

#include <fstream>

#include "RawHttp.h"
#include "TestCatalog.h"
#include "TestServer.h"

namespace {

// A byte that depends on its position, so that a chunk sent from the wrong offset shows.
char PatternByte(std::uint64_t position) {
    return static_cast<char>((position * 131 + (position >> 16)) & 0xFF);
}

class Download : public ::testing::Test {
  protected:
    void SetUp() override { catalog_.WriteStandard(); }
    TestCatalog catalog_;
};

TEST_F(Download, GetGivesTheFilesBytesWithTheirLength) {
    std::string bytes;
    for (int i = 0; i < 256 * 3; ++i) bytes += static_cast<char>(i);
    catalog_.WriteFile("SC-200/binary.pdz", bytes);
    TestServer server(catalog_.Dir());
    const auto result = server.Client().Get("/scupdater/files/SC-200/binary.pdz");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200);
    EXPECT_EQ(result->get_header_value("Content-Length"), std::to_string(bytes.size()));
    EXPECT_EQ(result->body, bytes);

    const auto head = server.Client().Head("/scupdater/files/SC-200/binary.pdz");
    ASSERT_TRUE(head);
    EXPECT_EQ(head->status, 200);
    EXPECT_EQ(head->get_header_value("Content-Length"), std::to_string(bytes.size()));
    EXPECT_TRUE(head->body.empty());

    catalog_.WriteFile("empty.txt", "");
    const auto empty = server.Client().Get("/scupdater/files/empty.txt");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->status, 200);
    EXPECT_EQ(empty->get_header_value("Content-Length"), "0");
}

TEST_F(Download, ALargeFileArrivesWholeAndInOrder) {
    constexpr std::uint64_t kSize = 96ull << 20;
    {
        std::ofstream out(catalog_.Dir() / "large.pdz", std::ios::binary);
        std::string block(1 << 20, '\0');
        for (std::uint64_t start = 0; start < kSize; start += block.size()) {
            for (std::size_t i = 0; i < block.size(); ++i) block[i] = PatternByte(start + i);
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
        }
    }
    TestServer server(catalog_.Dir());
    std::uint64_t received = 0;
    std::uint64_t wrong = 0;
    std::string announced;
    auto client = server.Client();
    const auto result = client.Get(
        "/scupdater/files/large.pdz",
        [&](const httplib::Response& response) {
            announced = response.get_header_value("Content-Length");
            return true;
        },
        [&](const char* data, std::size_t length) {
            for (std::size_t i = 0; i < length; ++i) wrong += data[i] != PatternByte(received + i);
            received += length;
            return true;
        });
    ASSERT_TRUE(result) << httplib::to_string(result.error());
    EXPECT_EQ(result->status, 200);
    EXPECT_EQ(announced, std::to_string(kSize));
    EXPECT_EQ(received, kSize);
    EXPECT_EQ(wrong, 0u);
}

TEST_F(Download, ARangeGivesTheBytesAskedForWith206AndAnotherVersionGivesTheWhole) {
    std::string bytes;
    for (int i = 0; i < 5000; ++i) bytes += PatternByte(static_cast<std::uint64_t>(i));
    catalog_.WriteFile("SC-200/part.pdz", bytes);
    TestServer server(catalog_.Dir());
    auto client = server.Client();
    const std::string path = "/scupdater/files/SC-200/part.pdz";
    const auto whole = client.Get(path);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->get_header_value("Accept-Ranges"), "bytes");
    const std::string tag = whole->get_header_value("ETag");
    ASSERT_FALSE(tag.empty());

    const auto rest = client.Get(path, {{"Range", "bytes=1200-"}, {"If-Range", tag}});
    ASSERT_TRUE(rest);
    EXPECT_EQ(rest->status, 206);
    EXPECT_EQ(rest->get_header_value("Content-Range"), "bytes 1200-4999/5000");
    EXPECT_EQ(rest->body, bytes.substr(1200));

    const auto middle = client.Get(path, {{"Range", "bytes=10-19"}});
    EXPECT_EQ(middle->status, 206);
    EXPECT_EQ(middle->body, bytes.substr(10, 10));

    // The file changed since the first part came: the whole new file, never a part of it.
    const auto changed = client.Get(path, {{"Range", "bytes=1200-"}, {"If-Range", "\"other\""}});
    EXPECT_EQ(changed->status, 200);
    EXPECT_EQ(changed->body, bytes);

    const auto beyond = client.Get(path, {{"Range", "bytes=5000-"}});
    EXPECT_EQ(beyond->status, 416);
    EXPECT_EQ(beyond->get_header_value("Content-Range"), "bytes */5000");

    // What this server does not serve in parts is answered whole.
    for (const char* asked : {"bytes=0-9,20-29", "bytes=-100", "lines=1-2", "bytes=x-"}) {
        const auto answered = client.Get(path, {{"Range", asked}});
        EXPECT_EQ(answered->status, 200) << asked;
        EXPECT_EQ(answered->body.size(), bytes.size()) << asked;
    }
}

TEST_F(Download, NamesWithBlanksAndOtherCharactersAreReachableEncoded) {
    catalog_.WriteFile("my files/a b&c.zip", "spaced");
    TestServer server(catalog_.Dir());
    const auto result = server.Client().Get("/scupdater/files/my%20files/a%20b%26c.zip");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200);
    EXPECT_EQ(result->body, "spaced");
}

TEST_F(Download, NothingOutsideTheCatalogFolderIsServed) {
    const auto outside = catalog_.Dir().parent_path() / (catalog_.Dir().filename().string() + "-secret");
    std::ofstream(outside) << "secret";
    const std::string escape = "../" + outside.filename().string();
    TestServer server(catalog_.Dir());
    for (const std::string& target :
         {"/scupdater/files/" + escape, "/scupdater/files/%2e%2e/" + outside.filename().string(),
          "/scupdater/files/SC-200/../../" + outside.filename().string(),
          std::string("/scupdater/files//etc/passwd"), std::string("/scupdater/files/SC-200"),
          std::string("/scupdater/files/missing.zip")}) {
        const RawResponse response =
            RawExchange(server.Host(), server.Port(),
                        "GET " + target + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
        ASSERT_TRUE(response.connected);
        EXPECT_EQ(response.headers.rfind("HTTP/1.1 404", 0), 0u) << target << "\n" << response.headers;
        EXPECT_EQ(response.body.find("secret"), std::string::npos) << target;
    }
    std::filesystem::remove(outside);
    EXPECT_TRUE(server.LogShows("refused path outside the catalog folder"));
}

}  // namespace
