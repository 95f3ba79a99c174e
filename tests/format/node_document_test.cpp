#include "format/node_document.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tzm_writer/zlib_compress.h"

namespace ovra {
namespace {

using nlohmann::json;

ParsedNodeDocument Parse(const json& document) {
  const std::string text = document.dump();
  const auto stream = tools::CompressZlib(std::vector<uint8_t>(text.begin(), text.end()));
  return ParseNodeDocument(nullptr, stream.data(), stream.size());
}

ParsedNodeDocument ParseCurrent(json document) {
  document["version"] = "0.0.3";
  return Parse(document);
}

TEST(DocumentVersion, ThreePiecesWithStrtolSemantics) {
  struct Case {
    const char* text;
    DocumentVersion version;
  };
  const Case cases[] = {
      {"0.0.3", {0, 0, 3}},  {"1.2.3", {1, 2, 3}},          {"1.2", {0, 0, 0}},      {"1.2.3.4", {0, 0, 0}},
      {"", {0, 0, 0}},       {" 1.+2.-3", {1, 2, -3}},      {"1x.2y.3z", {1, 2, 3}}, {"a.2.3", {0, 2, 3}},
      {"1.2.3.", {1, 2, 3}}, {"9999999999.1.1", {0, 1, 1}},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseDocumentVersion(c.text), c.version) << c.text;
}

TEST(NodeDocument, EmptyObjectGivesBareRootWithLegacySurface) {
  const ParsedNodeDocument parsed = Parse(json::object());
  ASSERT_TRUE(parsed.root);
  EXPECT_TRUE(parsed.root->levels.empty());
  EXPECT_TRUE(parsed.root->children.empty());
  EXPECT_EQ(parsed.root->surfaceArea, 0.0f);
  EXPECT_EQ(parsed.root->shownLevel, -1);
  EXPECT_EQ(parsed.root->context, nullptr);
  EXPECT_TRUE(parsed.materials.empty());
}

TEST(NodeDocument, LevelsEndAtTheFirstMissingGeometry) {
  const auto root = ParseCurrent({{"geometry", {"a", "", "b"}}}).root;
  ASSERT_EQ(root->levels.size(), 1u);
  EXPECT_EQ(root->levels[0].geometry, "a");

  const auto wrongType = ParseCurrent({{"geometry", {"a", 5, "b"}}}).root;
  EXPECT_EQ(wrongType->levels.size(), 1u);
  EXPECT_TRUE(ParseCurrent({{"geometry", "a"}}).root->levels.empty());
}

TEST(NodeDocument, ParallelArraysFillEachLevel) {
  const auto root = ParseCurrent({{"geometry", {"g0", "g1"}},
                                  {"material", {"m0", "m1"}},
                                  {"colorMap", {"c0"}},
                                  {"colorMapAlpha", {"a0", "a1"}},
                                  {"emissiveMap", {"e0", "e1"}},
                                  {"metRoughMap", {"r0", "r1"}},
                                  {"normalMap", {"n0", 7}},
                                  {"occlusionMap", {"o0", "o1"}},
                                  {"lightMap", {"l0", "l1"}},
                                  {"triangleCounts", {100, 2.5}}})
                        .root;
  ASSERT_EQ(root->levels.size(), 2u);
  const ModelNodeLevel& l0 = root->levels[0];
  const ModelNodeLevel& l1 = root->levels[1];
  EXPECT_EQ(l1.geometry, "g1");
  EXPECT_EQ(l1.material, "m1");
  EXPECT_EQ(l1.colorMap, "") << "colorMap has one element only";
  EXPECT_EQ(l1.normalMap, "") << "a number is not a name";
  EXPECT_EQ(l0.triangleCount, 100);
  EXPECT_EQ(l1.triangleCount, 0) << "a floating count reads 0";
  const char* expectedSlots[] = {"g0", "c0", "a0", "n0", "r0", "o0", "e0", "l0", ""};
  for (int slot = 0; slot <= 8; ++slot) {
    EXPECT_EQ(LevelFileName(l0, slot), expectedSlots[slot]) << "slot " << slot;
  }
  EXPECT_EQ(LevelFileName(l0, -1), "");
}

TEST(NodeDocument, TriangleCountsKeepTheLow32BitsWithSign) {
  const auto root =
      ParseCurrent({{"geometry", {"a", "b", "c"}}, {"triangleCounts", {4294967295u, -5, 4294967296LL + 7}}}).root;
  EXPECT_EQ(root->levels[0].triangleCount, -1);
  EXPECT_EQ(root->levels[1].triangleCount, -5);
  EXPECT_EQ(root->levels[2].triangleCount, 7);
}

TEST(NodeDocument, BoundsReadNumbersOnly) {
  const auto root =
      ParseCurrent({{"boundingBox", {{"minX", -1.5}, {"maxX", 2}, {"minY", "3"}, {"maxY", true}, {"maxZ", 1e40}}}})
          .root;
  EXPECT_EQ(root->minX, -1.5f);
  EXPECT_EQ(root->maxX, 2.0f);
  EXPECT_EQ(root->minY, 0.0f) << "a string bound reads 0";
  EXPECT_EQ(root->maxY, 0.0f) << "a boolean bound reads 0";
  EXPECT_EQ(root->minZ, 0.0f) << "a missing bound reads 0";
  EXPECT_TRUE(std::isinf(root->maxZ));

  const auto arrayBox = ParseCurrent({{"boundingBox", {1, 2, 3, 4, 5, 6}}}).root;
  EXPECT_EQ(arrayBox->maxX, 0.0f);
}

TEST(NodeDocument, SurfaceAreaReadsNumbersAndBooleans) {
  EXPECT_EQ(ParseCurrent({{"surfaceArea", 12}}).root->surfaceArea, 12.0f);
  EXPECT_EQ(ParseCurrent({{"surfaceArea", true}}).root->surfaceArea, 1.0f);
  EXPECT_EQ(ParseCurrent({{"surfaceArea", false}}).root->surfaceArea, 0.0f);
  EXPECT_EQ(ParseCurrent(json::object()).root->surfaceArea, 1.0f);
}

TEST(NodeDocument, TypeErrorsAndSyntaxErrorsThrow) {
  EXPECT_THROW(Parse({{"version", 3}}), json::type_error);
  EXPECT_THROW(ParseCurrent({{"surfaceArea", "big"}}), json::type_error);
  EXPECT_THROW(ParseCurrent({{"materials", {{"m", {{"unlit", 1}}}}}}), json::type_error);
  EXPECT_THROW(ParseCurrent({{"children", {{{"surfaceArea", nullptr}}}}}), json::type_error);

  const std::string broken = "{\"version\": ";
  const auto stream = tools::CompressZlib(std::vector<uint8_t>(broken.begin(), broken.end()));
  EXPECT_THROW(ParseNodeDocument(nullptr, stream.data(), stream.size()), json::parse_error);
  const std::vector<uint8_t> notZlib = {'{', '}'};
  EXPECT_THROW(ParseNodeDocument(nullptr, notZlib.data(), notZlib.size()), json::parse_error);
}

TEST(NodeDocument, ChildrenLinkParentsDepthsAndIdsInCreationOrder) {
  const json document = {{"version", "1.0.0"},
                         {"children", {{{"children", {json::object(), json::object()}}}, json::object()}}};
  const auto root = Parse(document).root;
  ASSERT_EQ(root->children.size(), 2u);
  const ModelNode& first = *root->children[0];
  const ModelNode& second = *root->children[1];
  ASSERT_EQ(first.children.size(), 2u);
  EXPECT_EQ(first.parent, root.get());
  EXPECT_EQ(first.children[1]->parent, &first);
  EXPECT_EQ(first.children[1]->depth, 2u);
  EXPECT_EQ(second.depth, 1u);
  // Root, then each child before its own children.
  EXPECT_EQ(first.id, root->id + 1);
  EXPECT_EQ(first.children[0]->id, root->id + 2);
  EXPECT_EQ(first.children[1]->id, root->id + 3);
  EXPECT_EQ(second.id, root->id + 4);

  EXPECT_TRUE(Parse({{"version", "1.0.0"}, {"children", "none"}}).root->children.empty());
}

TEST(NodeDocument, LegacyRuleAppliesBelowVersion003) {
  struct Case {
    const char* version;
    bool legacy;
  };
  const Case cases[] = {{"0.0.2", true},  {"1.2", true},    {"0.0.3", false},
                        {"1.0.0", false}, {"0.1.0", false}, {"-1.5.5", true}};
  for (const Case& c : cases) {
    const auto root =
        Parse({{"version", c.version}, {"surfaceArea", 9}, {"geometry", {"a"}}, {"triangleCounts", {7}}}).root;
    EXPECT_EQ(root->levels[0].triangleCount, c.legacy ? 50000 : 7) << c.version;
  }
}

TEST(NodeDocument, LegacyRuleArithmetic) {
  json grandchildren = json::array({json::object(), json::object(), json::object()});
  json child = {{"surfaceArea", 99}, {"children", grandchildren}};
  json levels = json::array();
  for (int i = 0; i < 10; ++i) levels.push_back("level" + std::to_string(i));
  const ParsedNodeDocument parsed =
      Parse({{"boundingBox", {{"minX", 0}, {"maxX", 2}, {"minY", 0}, {"maxY", 3}, {"minZ", 0}, {"maxZ", 4}}},
             {"geometry", levels},
             {"children", {child, child, child, child}}});
  const auto& root = parsed.root;
  EXPECT_EQ(root->surfaceArea, 52.0f);
  const ModelNode& firstChild = *root->children[0];
  EXPECT_EQ(firstChild.surfaceArea, 13.0f);
  EXPECT_EQ(firstChild.children[2]->surfaceArea, 13.0f / 3.0f);
  // Only four levels are kept; the other six are counted as dropped.
  const int64_t expected[] = {50000, 12500, 3125, 781};
  ASSERT_EQ(root->levels.size(), 4u);
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(root->levels[i].triangleCount, expected[i]) << i;
  EXPECT_EQ(parsed.droppedLevels, 6u);
}

TEST(NodeDocument, MaterialsFromObjectOrArray) {
  const auto fromObject = ParseCurrent({{"materials", {{"b", {{"roughness", 0.5}}}, {"a", json::object()}}}}).materials;
  ASSERT_EQ(fromObject.size(), 2u);
  EXPECT_EQ(fromObject.at("b")->roughness, 0.5f);

  const auto fromArray = ParseCurrent({{"materials", {json::object(), {{"metalness", 0}}}}}).materials;
  ASSERT_EQ(fromArray.size(), 2u);
  EXPECT_EQ(fromArray.at("1")->metalness, 0.0f);
  EXPECT_EQ(fromArray.at("0")->metalness, 1.0f);
}

TEST(NodeDocument, TreeDeeperThanTheLimitIsNotRecognised) {
  auto nested = [](uint32_t depth) {
    json node = json::object();
    for (uint32_t i = 0; i < depth; ++i) node = {{"children", {node}}};
    node["version"] = "0.0.3";
    return node;
  };
  EXPECT_TRUE(Parse(nested(kMaxNodeDepth)).root) << "the deepest node allowed";
  const ParsedNodeDocument tooDeep = Parse(nested(kMaxNodeDepth + 1));
  EXPECT_FALSE(tooDeep.root);
}

TEST(NodeDocument, TopLevelThatIsNotAnObjectGivesABareRoot) {
  const auto root = Parse(json::array({1, 2})).root;
  ASSERT_TRUE(root);
  EXPECT_TRUE(root->levels.empty());
  EXPECT_TRUE(root->children.empty());
}

}  // namespace
}  // namespace ovra
