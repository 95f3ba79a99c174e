#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "format/material.h"
#include "format/model_node.h"
#include "format/node_document.h"
#include "ovra/model.h"
#include "streaming/model_context.h"

namespace ovra::detail {

// First request of every model: enough for the header, and usually for the
// index and the node document too.
inline constexpr uint64_t kFirstRequestBytes = 0x40000;

// The private state of a Model and its initialization chain. Each stage
// handler runs inline on the host thread, continuing the task before it.
class ModelPimpl {
 public:
  ModelPimpl() = default;
  ModelPimpl(const ModelPimpl&) = delete;
  ModelPimpl& operator=(const ModelPimpl&) = delete;
  // Cancels the model's pool jobs that have not started and waits for the
  // running ones, so that none outlives the model's state.
  ~ModelPimpl();

  // Declaration order is destruction order reversed: the materials go first,
  // then the tree, the head bytes and last the context with its tasks.
  std::unique_ptr<ModelContext> context;
  std::vector<uint8_t> headBytes;  // a prefix of the file, from byte 0
  std::unique_ptr<ModelNode> rootNode;
  bool initializationComplete = false;
  int32_t startDepth = -1;
  int32_t startLevel = -1;
  float densityScale = 0.0f;
  Vec3 modelOffset{};
  // Shared with decoding jobs, which may still hold it after a re-parse.
  std::shared_ptr<const MaterialTable> materials;

  // Expires with the model, for holders that may outlive it: callbacks kept
  // by the host and controllers that still list it.
  std::weak_ptr<const void> Lifetime() const { return lifetime_; }

  void Init(DataSourcePimpl& dataSource, IMeshRenderer& renderer, float densityScale, const Vec3& modelOffset,
            int startDepth, int startLevel);

  int OnHeaderBytes(const std::vector<uint8_t>& bytes);
  int OnIndexBytes(const std::vector<uint8_t>& bytes);
  int OnLayoutParsed(const std::shared_ptr<ModelFileLayout>& layout);
  int OnNodeDocumentBytes(const std::vector<uint8_t>& bytes);
  int OnRootNodeParsed(const std::shared_ptr<ParsedNodeDocument>& document);

  // The material stored under exactly `name`, or null.
  const ModelMaterial* GetMaterial(std::string_view name) const;

 private:
  // Runs `handler` on the result of `task` once it finishes, as a new task
  // group of this model.
  template <typename X>
  void Attach(std::shared_ptr<Task<X>> task, int (ModelPimpl::*handler)(const X&));
  // Asks the host for the bytes from the end of headBytes up to `end`.
  std::shared_ptr<ByteTask> RequestHeadBytesUpTo(uint64_t end);
  void StartFirstNodeLoads();
  template <typename T>
  std::shared_ptr<Task<T>> MakePoolTask(typename Task<T>::Body body) const;

  std::shared_ptr<const int> lifetime_ = std::make_shared<const int>(0);
};

// How the library reaches the private part of a host's Model.
struct ModelAccess {
  static ModelPimpl& Pimpl(Model& model) { return *model.pimpl_; }
};

}  // namespace ovra::detail
