// The smallest host: installs its own logger in front of the library's
// built-in one, then restores the built-in logger; and makes a stream
// controller with nothing to stream yet.
#include <ovra/ovra.h>

#include <cstdio>
#include <string>
#include <string_view>

namespace {

// Tags every line as coming through the host, then hands it to the built-in
// logger, which prints it on standard output.
class TaggingLogger final : public ovra::ILogger {
 public:
  explicit TaggingLogger(ovra::ILogger* next) : next_(next) {}
  void Status(std::string_view message) override { next_->Status(Tag(message)); }
  void Warning(std::string_view message) override { next_->Warning(Tag(message)); }
  void Error(std::string_view message) override { next_->Error(Tag(message)); }

 private:
  static std::string Tag(std::string_view message) { return "[hello_host] " + std::string(message); }
  ovra::ILogger* next_;
};

}  // namespace

int main() {
  TaggingLogger logger(ovra::Log::GetDefaultLogger());
  ovra::Log::SetLogger(&logger);
  ovra::Log::Status("the host's logger is installed.");
  ovra::Log::Warning("warnings and errors take the same road.");

  ovra::Log::SetLogger(ovra::Log::GetDefaultLogger());
  ovra::Log::Status("the built-in logger is back.");

  ovra::StreamControllerSettings settings;
  settings.triangleBudget = 100000;
  ovra::StreamController controller(settings);
  controller.Update(ovra::EnvironmentInfo{{0, 0, 10}, 60.0f, 1.5f});
  std::printf("a controller without models: %llu swaps pending\n",
              static_cast<unsigned long long>(controller.GetDebugInfo().pendingOperations));
  std::puts("hello_host done");
  return 0;
}
