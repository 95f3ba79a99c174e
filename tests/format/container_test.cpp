#include "format/container.h"

#include <gtest/gtest.h>

#include <string>

#include "tzm_writer/zlib_compress.h"

namespace ovra {
namespace {

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// "v.00001;" + the 7-digit length + ";" + properties, with the length field
// computed unless given.
std::string Header(const std::string& properties, int lengthField = -1) {
  const int length = lengthField >= 0 ? lengthField : static_cast<int>(16 + properties.size());
  char prefix[17];
  std::snprintf(prefix, sizeof prefix, "v.00001;%07d;", length);
  return prefix + properties;
}

int ParseHeader(const std::string& text, ModelFileLayout& layout) {
  const auto bytes = Bytes(text);
  return ParseContainerHeader(bytes.data(), bytes.size(), layout);
}

TEST(ContainerHeader, ResultCodes) {
  struct Case {
    const char* name;
    std::string bytes;
    int result;
  };
  const Case cases[] = {
      {"complete", Header("indexSize=10;"), kHeaderComplete},
      {"fewer than 16 bytes", Header("indexSize=10;").substr(0, 15), kHeaderNeedsMoreBytes},
      {"no bytes", "", kHeaderNeedsMoreBytes},
      {"fewer than H bytes", Header("", 20) + "in", kHeaderNeedsMoreBytes},
      {"wrong tag", "v.00002;0000029;indexSize=10;", kHeaderWrongFormat},
      {"byte 15 not ;", "v.00001;0000029:indexSize=10;", kHeaderWrongFormat},
      {"tag checked before length", "x.00001;00000zz;", kHeaderWrongFormat},
      {"length not a number", "v.00001;00002x9;indexSize=10;", kHeaderMalformed},
      {"length below 16", Header("indexSize=10;", 15), kHeaderMalformed},
      {"length zero", Header("", 0), kHeaderMalformed},
      {"no properties", Header(""), kHeaderMalformed},
      {"indexSize not a number", Header("indexSize=1x;"), kHeaderMalformed},
      {"indexSize empty", Header("indexSize=;"), kHeaderMalformed},
      {"indexSize overflowing the reader", Header("indexSize=9999999999999999999;"), kHeaderMalformed},
  };
  for (const Case& c : cases) {
    ModelFileLayout layout;
    EXPECT_EQ(ParseHeader(c.bytes, layout), c.result) << c.name;
    if (c.result != kHeaderComplete) {
      EXPECT_EQ(layout.headerSize, 0u) << c.name;
    }
  }
}

TEST(ContainerHeader, PropertyRules) {
  struct Case {
    const char* properties;
    uint64_t indexSize, bodySize, fileCount;
  };
  const Case cases[] = {
      {"indexSize=0042;bodySize=;fileCount=x;", 42, 0, 0},
      {"indexSize=10;indexSize=20", 20, 0, 0},
      {"a=b=c;indexSize=7", 7, 0, 0},
      {"bodySize=99;indexSize=1;fileCount=3;other=zz;", 1, 99, 3},
      {"indexSize=0;", 0, 0, 0},
      {";;indexSize=5;;", 5, 0, 0},
  };
  for (const Case& c : cases) {
    ModelFileLayout layout;
    const std::string header = Header(c.properties);
    ASSERT_EQ(ParseHeader(header + "trailing body bytes", layout), kHeaderComplete) << c.properties;
    EXPECT_EQ(layout.headerSize, header.size());
    EXPECT_EQ(layout.indexSize, c.indexSize) << c.properties;
    EXPECT_EQ(layout.bodySize, c.bodySize) << c.properties;
    EXPECT_EQ(layout.fileCount, c.fileCount) << c.properties;
  }
}

// A layout whose header fields describe `index` placed right after a header
// of `headerSize` bytes.
ModelFileLayout LayoutFor(const std::vector<uint8_t>& index, uint64_t headerSize = 100) {
  ModelFileLayout layout;
  layout.headerSize = headerSize;
  layout.indexSize = index.size();
  return layout;
}

std::vector<uint8_t> CompressedText(const std::string& text) { return tools::CompressZlib(Bytes(text)); }

TEST(ContainerIndex, SplitsTriplesAndStripsTheCompressedSuffix) {
  const auto index = CompressedText("0;100;nodes.compressed;100;50;mesh0;");
  ModelFileLayout layout = LayoutFor(index, 300);
  layout.fileCount = 1000000;  // only a reservation hint
  ASSERT_EQ(ParseContainerIndex(index, layout), kIndexParsed);
  ASSERT_EQ(layout.files.size(), 2u);
  const uint64_t body = 300 + index.size();
  EXPECT_EQ(layout.files[0].name, "nodes");
  EXPECT_TRUE(layout.files[0].compressed);
  EXPECT_EQ(layout.files[0].offset, body);
  EXPECT_EQ(layout.files[0].size, 100u);
  EXPECT_EQ(layout.files[0].index, 0u);
  EXPECT_EQ(layout.files[1].name, "mesh0");
  EXPECT_FALSE(layout.files[1].compressed);
  EXPECT_EQ(layout.files[1].offset, body + 100);
  EXPECT_EQ(layout.files[1].size, 50u);
  EXPECT_EQ(layout.files[1].index, 1u);
  EXPECT_TRUE(layout.filesByName.empty());
}

TEST(ContainerIndex, CompressedSuffixOnlyAtTheEnd) {
  const auto index = CompressedText("0;1;.compressed;1;1;a.compressed.bin;2;1;compressed;");
  ModelFileLayout layout = LayoutFor(index);
  ASSERT_EQ(ParseContainerIndex(index, layout), kIndexParsed);
  ASSERT_EQ(layout.files.size(), 3u);
  EXPECT_EQ(layout.files[0].name, "");
  EXPECT_TRUE(layout.files[0].compressed);
  EXPECT_EQ(layout.files[1].name, "a.compressed.bin");
  EXPECT_FALSE(layout.files[1].compressed);
  EXPECT_EQ(layout.files[2].name, "compressed");
  EXPECT_FALSE(layout.files[2].compressed);
}

TEST(ContainerIndex, RejectedIndexesLeaveNoEntries) {
  struct Case {
    const char* name;
    std::vector<uint8_t> index;
  };
  const Case cases[] = {
      {"not zlib", Bytes("0;1;a;")},
      {"empty text", CompressedText("")},
      {"piece count not a multiple of 3", CompressedText("0;1;a;5;")},
      {"offset not a number", CompressedText("0;1;a;x;1;b;")},
      {"size not a number", CompressedText("0;-1;a;")},
      {"offset beyond 64 bits", CompressedText("18446744073709551616;1;a;")},
      {"end overflowing 64 bits", CompressedText("18446744073709551000;1000;a;")},
  };
  for (const Case& c : cases) {
    ModelFileLayout layout = LayoutFor(c.index);
    layout.files.push_back({});  // replaced, whatever the outcome
    ParseContainerIndex(c.index, layout);
    EXPECT_TRUE(layout.files.empty()) << c.name;
  }
}

TEST(ContainerIndex, NeedsHeaderFieldsAndAllIndexBytes) {
  const auto index = CompressedText("0;1;a;");
  ModelFileLayout noHeader;
  noHeader.indexSize = index.size();
  noHeader.files.push_back({});
  EXPECT_EQ(ParseContainerIndex(index, noHeader), kIndexRejected);
  EXPECT_EQ(noHeader.files.size(), 1u) << "untouched without a header";

  ModelFileLayout layout = LayoutFor(index);
  const std::span<const uint8_t> partial(index.data(), index.size() - 1);
  EXPECT_EQ(ParseContainerIndex(partial, layout), kIndexNeedsMoreBytes);
}

TEST(ContainerIndex, ZeroIndexSizeYieldsNoEntries) {
  ModelFileLayout layout = LayoutFor({});
  ParseContainerIndex({}, layout);
  EXPECT_TRUE(layout.files.empty());
}

TEST(ContainerIndex, FilesByNameFindsTheLaterOfTwoEntries) {
  const auto index = CompressedText("0;10;nodes;10;5;tex;15;7;tex;");
  ModelFileLayout layout = LayoutFor(index);
  ASSERT_EQ(ParseContainerIndex(index, layout), kIndexParsed);
  BuildFilesByName(layout);
  EXPECT_EQ(layout.files.size(), 3u);
  ASSERT_EQ(layout.filesByName.size(), 2u);
  EXPECT_EQ(layout.filesByName.at("tex").size, 7u);
  EXPECT_EQ(layout.filesByName.at("tex").index, 2u);
}

}  // namespace
}  // namespace ovra
