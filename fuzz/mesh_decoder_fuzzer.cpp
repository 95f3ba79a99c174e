// Geometry streams from arbitrary bytes: the decoder must stay inside the
// buffer, and whatever it accepts must be safe to render.
#include <cstddef>
#include <cstdint>

#include "content/mesh_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const float kBounds[6] = {-1, 1, -1, 1, -1, 1};
  static const ovra::ModelMaterial kMaterial;
  ovra::MeshDecodeError error = ovra::MeshDecodeError::kNone;
  const cxm::Mesh mesh = ovra::DecodeMesh(data, size, kBounds, &kMaterial, &error);
  const size_t vertices = mesh.positions->size();
  if (mesh.normals->size() != vertices) __builtin_trap();
  for (const cxm::Vec3u& t : *mesh.triangles) {
    if (t.a >= vertices || t.b >= vertices || t.c >= vertices) __builtin_trap();
  }
  if (error != ovra::MeshDecodeError::kNone && vertices != 0) __builtin_trap();
  return 0;
}
