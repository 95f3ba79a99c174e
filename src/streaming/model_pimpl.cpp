#include "streaming/model_pimpl.h"

#include <span>
#include <string>

#include "format/limits.h"
#include "host/data_source_pimpl.h"
#include "ovra/logging.h"

namespace ovra::detail {

namespace {

constexpr const char* kHeaderFailure =
    "Failed to initialize tzm model, because the header could not be parsed correctly.";
constexpr const char* kIndexFailure =
    "Failed to initialize tzm model, because the index of the tzm file was not parsed "
    "succesfully.";
constexpr const char* kNodeStructureFailure =
    "Failed to initialize tzm model, because the node structure was not recognized.";
constexpr const char* kTreeAdopted = "Finished tzm model initialization, starting downloading of root nodes.";
constexpr const char* kSecondInit =
    "Model::Init was called on a model that was already initialized; the call is ignored.";

void WarnOfDroppedLevels(size_t dropped) {
  if (dropped > 0) {
    Log::Warning("Dropped " + std::to_string(dropped) +
                 " node levels beyond the fourth; only four levels per node can be streamed.");
  }
}

// Entry 0 is fetched together with everything between the held bytes and
// its end; a document placed far away or too large is refused.
bool DocumentWithinLimits(const ModelFileEntry& document, uint64_t heldBytes) {
  const uint64_t end = document.offset + document.size;
  return document.size <= kMaxDocumentBytes && end >= document.offset && end <= heldBytes + 2 * kMaxDocumentBytes;
}

void Append(std::vector<uint8_t>& head, const std::vector<uint8_t>& bytes) {
  head.insert(head.end(), bytes.begin(), bytes.end());
}

// A copy of bytes [offset, offset + size) of the held prefix, for a worker.
std::vector<uint8_t> Slice(const std::vector<uint8_t>& head, uint64_t offset, uint64_t size) {
  const auto first = head.begin() + static_cast<std::ptrdiff_t>(offset);
  return std::vector<uint8_t>(first, first + static_cast<std::ptrdiff_t>(size));
}

}  // namespace

ModelPimpl::~ModelPimpl() {
  if (context) context->jobs->CancelAndWait();
}

template <typename T>
std::shared_ptr<Task<T>> ModelPimpl::MakePoolTask(typename Task<T>::Body body) const {
  return MakeGuardedPoolTask<T>(context->jobs, std::move(body));
}

template <typename X>
void ModelPimpl::Attach(std::shared_ptr<Task<X>> task, int (ModelPimpl::*handler)(const X&)) {
  auto continuation =
      ContinueWith<X>(std::move(task), [this, handler](const X& value) { return (this->*handler)(value); });
  StartTaskGroup(context->runningTaskGroups, {continuation});
}

std::shared_ptr<ByteTask> ModelPimpl::RequestHeadBytesUpTo(uint64_t end) {
  return context->dataSource->IssueRangeRequest(headBytes.size(), end - headBytes.size());
}

void ModelPimpl::Init(DataSourcePimpl& dataSource, IMeshRenderer& renderer, float density, const Vec3& offset,
                      int depth, int level) {
  // A second chain would append to the bytes and tree of the first.
  if (context) {
    Log::Error(kSecondInit);
    return;
  }
  initializationComplete = false;
  startDepth = depth;
  startLevel = level;
  densityScale = density;
  modelOffset = offset;
  context = std::make_unique<ModelContext>(dataSource, renderer);
  Attach(context->dataSource->IssueRangeRequest(0, kFirstRequestBytes), &ModelPimpl::OnHeaderBytes);
}

int ModelPimpl::OnHeaderBytes(const std::vector<uint8_t>& bytes) {
  Append(headBytes, bytes);
  if (ParseContainerHeader(headBytes.data(), headBytes.size(), context->layout) != kHeaderComplete) {
    Log::Error(kHeaderFailure);
    return 0;
  }
  const ModelFileLayout& layout = context->layout;
  if (headBytes.size() < layout.headerSize + layout.indexSize) {
    // Ask for more than the index: the node document usually follows it.
    Attach(RequestHeadBytesUpTo(layout.headerSize + 3 * layout.indexSize), &ModelPimpl::OnIndexBytes);
    return 0;
  }
  return OnIndexBytes({});
}

int ModelPimpl::OnIndexBytes(const std::vector<uint8_t>& bytes) {
  Append(headBytes, bytes);
  ModelFileLayout layout = context->layout;
  std::vector<uint8_t> index = Slice(headBytes, layout.headerSize, layout.indexSize);
  // The worker also builds the name table, and the host thread takes the
  // layout over without copying: a large index has thousands of entries.
  auto parse = MakePoolTask<std::shared_ptr<ModelFileLayout>>(
      [layout = std::move(layout), index = std::move(index)](const ConstTaskList&) mutable {
        ParseContainerIndex(index, layout);
        BuildFilesByName(layout);
        return std::make_shared<ModelFileLayout>(std::move(layout));
      });
  Attach(std::move(parse), &ModelPimpl::OnLayoutParsed);
  return 0;
}

int ModelPimpl::OnLayoutParsed(const std::shared_ptr<ModelFileLayout>& parsed) {
  context->layout = std::move(*parsed);
  const ModelFileLayout& layout = context->layout;
  if (layout.files.empty()) {
    Log::Error(kIndexFailure);
    return 0;
  }
  const ModelFileEntry& document = layout.files.front();
  if (!DocumentWithinLimits(document, headBytes.size())) {
    Log::Error(kNodeStructureFailure);
    return 0;
  }
  if (headBytes.size() < document.offset + document.size) {
    Attach(RequestHeadBytesUpTo(document.offset + document.size), &ModelPimpl::OnNodeDocumentBytes);
    return 0;
  }
  return OnNodeDocumentBytes({});
}

int ModelPimpl::OnNodeDocumentBytes(const std::vector<uint8_t>& bytes) {
  Append(headBytes, bytes);
  const ModelFileEntry& entry = context->layout.files.front();
  // The worker only records this model's address in the nodes; the tree and
  // the materials are adopted on the host thread.
  auto parse = MakePoolTask<std::shared_ptr<ParsedNodeDocument>>(
      [model = this, document = Slice(headBytes, entry.offset, entry.size)](const ConstTaskList&) {
        return std::make_shared<ParsedNodeDocument>(ParseNodeDocument(model, document.data(), document.size()));
      });
  Attach(std::move(parse), &ModelPimpl::OnRootNodeParsed);
  return 0;
}

int ModelPimpl::OnRootNodeParsed(const std::shared_ptr<ParsedNodeDocument>& document) {
  materials = std::make_shared<const MaterialTable>(std::move(document->materials));
  rootNode = std::move(document->root);
  if (!rootNode) {
    Log::Error(kNodeStructureFailure);
    return 0;
  }
  ForEachNode(*rootNode, [this](ModelNode& node) {
    node.context = context.get();
    RecordLevelTriangles(node);
  });
  WarnOfDroppedLevels(document->droppedLevels);
  Log::Status(kTreeAdopted);
  StartFirstNodeLoads();
  return 0;
}

const ModelMaterial* ModelPimpl::GetMaterial(std::string_view name) const {
  return materials ? ovra::GetMaterial(*materials, name) : nullptr;
}

}  // namespace ovra::detail
