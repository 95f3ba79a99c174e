// Geometry decoding side by side with meshoptimizer's vertex and index codecs
// on the same quantised vertices and the same triangle order, and with Draco
// on the same mesh quantised alike.
#include <benchmark/benchmark.h>
#include <draco/compression/decode.h>
#include <draco/compression/encode.h>
#include <draco/mesh/mesh.h>
#include <meshoptimizer.h>

#include <cmath>
#include <memory>

#include "bench_meshes.h"
#include "content/mesh_decoder.h"

namespace ovra::bench {
namespace {

// What meshoptimizer stores per vertex: the same 16-bit positions, the same
// octahedral normal bytes and 16-bit texture coordinates.
struct QuantizedVertex {
  uint16_t position[3];
  uint8_t normal[2];
  uint16_t uv[2];
};
static_assert(sizeof(QuantizedVertex) % 4 == 0);

struct PreparedMesh {
  size_t vertices = 0;
  size_t triangles = 0;
  std::vector<uint8_t> ovraStream;
  std::array<float, 6> bounds{};
  std::vector<unsigned char> meshoptVertices;
  std::vector<unsigned char> meshoptIndices;
  std::vector<char> draco;
};

uint16_t Quantize16(float value, float low, float high) {
  if (!(high > low)) return 0;
  return static_cast<uint16_t>(std::lround((value - low) / (high - low) * 65535.0f));
}

template <typename T>
void AddDracoAttribute(draco::Mesh& mesh, draco::GeometryAttribute::Type type, const std::vector<T>& values) {
  constexpr int kComponents = sizeof(T) / sizeof(float);
  draco::GeometryAttribute attribute;
  attribute.Init(type, nullptr, kComponents, draco::DT_FLOAT32, false, sizeof(T), 0);
  const int id = mesh.AddAttribute(attribute, true, static_cast<uint32_t>(values.size()));
  for (uint32_t i = 0; i < values.size(); ++i) {
    mesh.attribute(id)->SetAttributeValue(draco::AttributeValueIndex(i), &values[i]);
  }
}

// Draco's default speed settings, with the same precision as our stream:
// 16-bit positions, 8-bit normals, 12-bit texture coordinates.
std::vector<char> EncodeWithDraco(const tools::MeshToEncode& source) {
  draco::Mesh mesh;
  mesh.set_num_points(static_cast<uint32_t>(source.positions.size()));
  AddDracoAttribute(mesh, draco::GeometryAttribute::POSITION, source.positions);
  AddDracoAttribute(mesh, draco::GeometryAttribute::NORMAL, source.normals);
  AddDracoAttribute(mesh, draco::GeometryAttribute::TEX_COORD, source.uvSets[0]);
  for (const cxm::Vec3u& t : source.triangles) {
    mesh.AddFace({draco::PointIndex(t.a), draco::PointIndex(t.b), draco::PointIndex(t.c)});
  }
  draco::Encoder encoder;
  encoder.SetAttributeQuantization(draco::GeometryAttribute::POSITION, 16);
  encoder.SetAttributeQuantization(draco::GeometryAttribute::NORMAL, 8);
  encoder.SetAttributeQuantization(draco::GeometryAttribute::TEX_COORD, 12);
  draco::EncoderBuffer buffer;
  if (!encoder.EncodeMeshToBuffer(mesh, &buffer).ok()) return {};
  return {buffer.data(), buffer.data() + buffer.size()};
}

std::shared_ptr<PreparedMesh> Prepare(tools::MeshToEncode mesh) {
  OptimizeForRendering(mesh);
  auto prepared = std::make_shared<PreparedMesh>();
  const tools::EncodedMesh encoded = tools::EncodeMesh(mesh, {});
  prepared->ovraStream = encoded.bytes;
  prepared->bounds = encoded.bounds;
  prepared->vertices = encoded.vertexSource.size();
  prepared->triangles = mesh.triangles.size();

  // meshoptimizer gets the vertices in the order our stream stores them.
  std::vector<QuantizedVertex> vertices;
  std::vector<uint32_t> newIndex(mesh.positions.size());
  const auto& b = encoded.bounds;
  for (uint32_t i = 0; i < encoded.vertexSource.size(); ++i) {
    const uint32_t source = encoded.vertexSource[i];
    newIndex[source] = i;
    const cxm::Vec3f& p = mesh.positions[source];
    const auto normal = tools::EncodeOctahedralNormal(mesh.normals[source]);
    const cxm::Vec2f& uv = mesh.uvSets[0][source];
    vertices.push_back(
        {{Quantize16(p.x, b[0], b[1]), Quantize16(p.y, b[2], b[3]), Quantize16(p.z, b[4], b[5])},
         {normal[0], normal[1]},
         {static_cast<uint16_t>(std::lround(uv.u * 2048.0f)), static_cast<uint16_t>(std::lround(uv.v * 2048.0f))}});
  }
  std::vector<unsigned int> indices;
  for (const cxm::Vec3u& t : mesh.triangles) {
    indices.insert(indices.end(), {newIndex[t.a], newIndex[t.b], newIndex[t.c]});
  }
  prepared->meshoptVertices.resize(meshopt_encodeVertexBufferBound(vertices.size(), sizeof(QuantizedVertex)));
  prepared->meshoptVertices.resize(meshopt_encodeVertexBuffer(prepared->meshoptVertices.data(),
                                                              prepared->meshoptVertices.size(), vertices.data(),
                                                              vertices.size(), sizeof(QuantizedVertex)));
  prepared->meshoptIndices.resize(meshopt_encodeIndexBufferBound(indices.size(), vertices.size()));
  prepared->meshoptIndices.resize(meshopt_encodeIndexBuffer(
      prepared->meshoptIndices.data(), prepared->meshoptIndices.size(), indices.data(), indices.size()));
  prepared->draco = EncodeWithDraco(mesh);
  return prepared;
}

void SetRates(benchmark::State& state, const PreparedMesh& mesh, size_t streamBytes) {
  const auto iterations = static_cast<double>(state.iterations());
  state.counters["Mtri/s"] =
      benchmark::Counter(iterations * static_cast<double>(mesh.triangles) / 1e6, benchmark::Counter::kIsRate);
  state.counters["Mvert/s"] =
      benchmark::Counter(iterations * static_cast<double>(mesh.vertices) / 1e6, benchmark::Counter::kIsRate);
  state.counters["bytes/tri"] = static_cast<double>(streamBytes) / static_cast<double>(mesh.triangles);
}

void DecodeWithOvra(benchmark::State& state, const std::shared_ptr<PreparedMesh>& mesh) {
  for (auto _ : state) {
    const cxm::Mesh decoded =
        DecodeMesh(mesh->ovraStream.data(), mesh->ovraStream.size(), mesh->bounds.data(), nullptr);
    benchmark::DoNotOptimize(decoded.triangles->data());
  }
  SetRates(state, *mesh, mesh->ovraStream.size());
}

void DecodeWithMeshopt(benchmark::State& state, const std::shared_ptr<PreparedMesh>& mesh) {
  std::vector<QuantizedVertex> vertices(mesh->vertices);
  std::vector<unsigned int> indices(mesh->triangles * 3);
  for (auto _ : state) {
    meshopt_decodeVertexBuffer(vertices.data(), vertices.size(), sizeof(QuantizedVertex), mesh->meshoptVertices.data(),
                               mesh->meshoptVertices.size());
    meshopt_decodeIndexBuffer(indices.data(), indices.size(), sizeof(unsigned int), mesh->meshoptIndices.data(),
                              mesh->meshoptIndices.size());
    benchmark::DoNotOptimize(vertices.data());
    benchmark::DoNotOptimize(indices.data());
  }
  SetRates(state, *mesh, mesh->meshoptVertices.size() + mesh->meshoptIndices.size());
}

void DecodeWithDraco(benchmark::State& state, const std::shared_ptr<PreparedMesh>& mesh) {
  draco::Decoder decoder;
  for (auto _ : state) {
    draco::DecoderBuffer buffer;
    buffer.Init(mesh->draco.data(), mesh->draco.size());
    auto decoded = decoder.DecodeMeshFromBuffer(&buffer);
    if (!decoded.ok()) {
      state.SkipWithError("Draco cannot decode its own stream");
      return;
    }
    benchmark::DoNotOptimize(decoded.value().get());
  }
  SetRates(state, *mesh, mesh->draco.size());
}

void RegisterPair(const std::string& name, tools::MeshToEncode source) {
  if (source.triangles.empty()) return;
  auto mesh = Prepare(std::move(source));
  benchmark::RegisterBenchmark(("decode/" + name + "/ovra").c_str(), DecodeWithOvra, mesh)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark(("decode/" + name + "/meshopt").c_str(), DecodeWithMeshopt, mesh)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark(("decode/" + name + "/draco").c_str(), DecodeWithDraco, mesh)
      ->Unit(benchmark::kMillisecond);
}

}  // namespace

void RegisterMeshDecodeBenchmarks() {
  RegisterPair("surface_1M", GeneratedSurface(1000000));
  RegisterPair("Wuson", LoadModel("/usr/share/assimp/models/AC/Wuson.ac"));
  RegisterPair("spider", LoadModel("/usr/share/assimp/models/OBJ/spider.obj"));
}

}  // namespace ovra::bench
