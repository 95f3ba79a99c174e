#include "ovra/host/http_data_source.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <deque>
#include <limits>
#include <mutex>
#include <optional>
#include <random>
#include <thread>
#include <vector>

#include "ovra/logging.h"

namespace ovra::host {

namespace {

using Clock = std::chrono::steady_clock;

struct Range {
  int id = 0;
  uint64_t offset = 0;
  uint64_t size = 0;
  int attempt = 1;
  Clock::time_point notBefore{};
  Clock::time_point firstFailure{};  // the epoch while it has not failed
};

struct Transfer {
  Range range;
  CURL* easy = nullptr;
  std::vector<unsigned char> body;
  bool rangeIgnored = false;
  bool overlong = false;
  uint64_t answeredStart = std::numeric_limits<uint64_t>::max();
  std::atomic<uint64_t>* fileSize = nullptr;
  char errorText[CURL_ERROR_SIZE] = {};
};

std::string Describe(const Range& range, const std::string& url) {
  return std::to_string(range.size) + " bytes at " + std::to_string(range.offset) + " of " + url;
}

// "bytes 100-199/1234": the first byte and the total, when the server gave them.
void ParseContentRange(std::string_view value, uint64_t& start, uint64_t& total) {
  const size_t digits = value.find_first_of("0123456789");
  if (digits == std::string_view::npos || value.substr(0, digits).find("bytes") == std::string_view::npos) return;
  value.remove_prefix(digits);
  std::from_chars(value.data(), value.data() + value.size(), start);
  const size_t slash = value.find('/');
  if (slash != std::string_view::npos) {
    std::from_chars(value.data() + slash + 1, value.data() + value.size(), total);
  }
}

// Server errors, a request timeout and rate limiting pass; other answers stand.
bool IsTransientStatus(long status) { return status >= 500 || status == 408 || status == 429; }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(), [](char expected, char actual) {
           return std::tolower(static_cast<unsigned char>(actual)) == expected;
         });
}

}  // namespace

bool IsHttpUrl(const std::string& text) {
  return StartsWithNoCase(text, "http://") || StartsWithNoCase(text, "https://");
}

// The multi handle and the thread that drives it.
struct HttpDataSource::Transfers {
  HttpDataSource* owner = nullptr;
  std::string url;
  HttpOptions options;
  CURLM* multi = nullptr;
  std::atomic<uint64_t> fileSize{0};

  std::mutex mutex;
  std::deque<Range> incoming;
  bool stopping = false;

  // The driving thread's own.
  std::deque<Range> waiting;
  std::vector<std::unique_ptr<Transfer>> active;
  std::optional<Clock::time_point> outageStart;
  std::minstd_rand jitter{std::random_device{}()};

  std::thread thread;  // last: it starts once the rest exists

  void Loop() {
    for (;;) {
      {
        std::lock_guard lock(mutex);
        if (stopping) break;
        std::move(incoming.begin(), incoming.end(), std::back_inserter(waiting));
        incoming.clear();
      }
      StartDueRanges();
      int running = 0;
      curl_multi_perform(multi, &running);
      int left = 0;
      while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
        if (message->msg == CURLMSG_DONE) Complete(message->easy_handle, message->data.result);
      }
      curl_multi_poll(multi, nullptr, 0, PollTimeoutMs(), nullptr);
    }
    for (const auto& transfer : active) Release(*transfer);
    active.clear();
  }

  void StartDueRanges() {
    const Clock::time_point now = Clock::now();
    for (auto range = waiting.begin(); range != waiting.end() && active.size() < MaxInFlight();) {
      if (range->notBefore > now) {
        ++range;
        continue;
      }
      Start(*range);
      range = waiting.erase(range);
    }
  }

  int PollTimeoutMs() const {
    if (waiting.empty()) return 1000;
    if (active.size() >= MaxInFlight()) return 100;
    Clock::time_point next = Clock::time_point::max();
    for (const Range& range : waiting) next = std::min(next, range.notBefore);
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now()).count();
    return static_cast<int>(std::clamp<int64_t>(wait, 0, 1000));
  }

  size_t MaxInFlight() const { return static_cast<size_t>(std::max(1, options.maxInFlight)); }

  void Start(const Range& range) {
    if (range.offset > std::numeric_limits<uint64_t>::max() - range.size) {
      owner->Finish(range.id, {});  // no file reaches that far
      return;
    }
    auto transfer = std::make_unique<Transfer>();
    transfer->range = range;
    transfer->fileSize = &fileSize;
    transfer->body.reserve(range.size);
    CURL* easy = curl_easy_init();
    transfer->easy = easy;
    const std::string bytes = std::to_string(range.offset) + "-" + std::to_string(range.offset + range.size - 1);
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_RANGE, bytes.c_str());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.connectTimeoutMs));
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(options.transferTimeoutMs));
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer->errorText);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Transfers::OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, transfer.get());
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Transfers::OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, transfer.get());
    curl_multi_add_handle(multi, easy);
    active.push_back(std::move(transfer));
  }

  static size_t OnBody(char* data, size_t, size_t count, void* user) {
    Transfer& transfer = *static_cast<Transfer*>(user);
    long status = 0;
    curl_easy_getinfo(transfer.easy, CURLINFO_RESPONSE_CODE, &status);
    if (status == 200) {
      // The whole file is coming: stop before it is downloaded for nothing.
      transfer.rangeIgnored = true;
      return 0;
    }
    if (status != 206) return count;  // an error page, not wanted
    if (transfer.body.size() + count > transfer.range.size) {
      transfer.overlong = true;
      return 0;
    }
    transfer.body.insert(transfer.body.end(), data, data + count);
    return count;
  }

  static size_t OnHeader(char* data, size_t, size_t count, void* user) {
    const std::string_view line(data, count);
    constexpr std::string_view kName = "content-range:";
    if (!StartsWithNoCase(line, kName)) return count;
    Transfer& transfer = *static_cast<Transfer*>(user);
    uint64_t total = 0;
    ParseContentRange(line.substr(kName.size()), transfer.answeredStart, total);
    if (total > 0) transfer.fileSize->store(total, std::memory_order_relaxed);
    return count;
  }

  void Complete(CURL* easy, CURLcode result) {
    const auto found = std::find_if(active.begin(), active.end(), [easy](const auto& t) { return t->easy == easy; });
    if (found == active.end()) return;
    std::unique_ptr<Transfer> transfer = std::move(*found);
    active.erase(found);
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    Release(*transfer);
    Judge(*transfer, result, status);
  }

  // Decides what the finished transfer means: bytes, zeros, a retry or a failure.
  void Judge(Transfer& transfer, CURLcode result, long status) {
    const Range& range = transfer.range;
    const bool answered = transfer.rangeIgnored || transfer.overlong || result == CURLE_OK;
    if (answered && !IsTransientStatus(status)) ServerAnswered();
    if (transfer.rangeIgnored) {
      GiveUp(range, "The server at " + url +
                        " does not support HTTP range requests: it answered 200 with the whole "
                        "file when asked for " +
                        Describe(range, url) + "; they read as zeros.");
    } else if (transfer.overlong) {
      GiveUp(range, "The server sent more than the " + Describe(range, url) + " asked for; they read as zeros.");
    } else if (result != CURLE_OK) {
      Retry(range, std::string(transfer.errorText[0] != '\0' ? transfer.errorText : curl_easy_strerror(result)));
    } else if (status == 206 && transfer.answeredStart != range.offset) {
      GiveUp(range, "The server answered a different range than the " + Describe(range, url) +
                        " asked for; they "
                        "read as zeros.");
    } else if (status == 206) {
      owner->Finish(range.id, std::move(transfer.body));
    } else if (status == 416) {
      GiveUp(range, "HTTP status 416 for " + Describe(range, url) +
                        ": the range lies wholly past the end of the "
                        "file; they read as zeros.");
    } else if (IsTransientStatus(status)) {
      Retry(range, "HTTP status " + std::to_string(status));
    } else {
      GiveUp(range, "HTTP status " + std::to_string(status) + " for " + Describe(range, url) + "; they read as zeros.");
    }
  }

  // A transient failure: the range waits and is tried again, until the
  // attempts or the time allowed run out.
  void Retry(Range range, const std::string& reason) {
    const Clock::time_point now = Clock::now();
    if (range.firstFailure == Clock::time_point{}) range.firstFailure = now;
    OutageBegins(range, reason, now);
    const auto failingMs = std::chrono::duration_cast<std::chrono::milliseconds>(now - range.firstFailure).count();
    const bool outOfAttempts = options.maxAttempts > 0 && range.attempt >= options.maxAttempts;
    const bool outOfTime = options.giveUpAfterMs > 0 && failingMs >= options.giveUpAfterMs;
    if (outOfAttempts || outOfTime) {
      GiveUp(range, "Could not fetch " + Describe(range, url) + " in " + std::to_string(range.attempt) +
                        " attempts over " + std::to_string(failingMs) + " ms: " + reason + "; they read as zeros.");
      return;
    }
    owner->CountRetry();
    range.notBefore = now + RetryDelay(range.attempt);
    ++range.attempt;
    waiting.push_back(range);
  }

  // Doubling from retryDelayMs up to maxRetryDelayMs, less a random part of
  // up to half.
  std::chrono::milliseconds RetryDelay(int attempt) {
    const int64_t first = std::max(1, options.retryDelayMs);
    const int64_t cap = std::max<int64_t>(first, options.maxRetryDelayMs);
    const int64_t full = std::min(cap, first << std::min(attempt - 1, 30));
    std::uniform_int_distribution<int64_t> shortening(0, full / 2);
    return std::chrono::milliseconds(full - shortening(jitter));
  }

  void OutageBegins(const Range& range, const std::string& reason, Clock::time_point now) {
    if (outageStart) return;
    outageStart = now;
    owner->CountOutage();
    Log::Warning("Fetching " + Describe(range, url) + " failed (" + reason + "); retrying until the server answers.");
  }

  void ServerAnswered() {
    if (!outageStart) return;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - *outageStart).count();
    outageStart.reset();
    owner->OutageEnded(static_cast<uint64_t>(ms));
    Log::Status("The server at " + url + " answers again, after " + std::to_string(ms) + " ms.");
  }

  void GiveUp(const Range& range, std::string message) { owner->Fail(range.id, std::move(message)); }

  void Release(Transfer& transfer) {
    curl_multi_remove_handle(multi, transfer.easy);
    curl_easy_cleanup(transfer.easy);
    transfer.easy = nullptr;
  }
};

HttpDataSource::HttpDataSource(std::string url, HttpOptions options) : transfers_(std::make_unique<Transfers>()) {
  static std::once_flag curlReady;
  std::call_once(curlReady, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  transfers_->owner = this;
  transfers_->url = std::move(url);
  transfers_->options = options;
  transfers_->multi = curl_multi_init();
  transfers_->thread = std::thread([transfers = transfers_.get()] { transfers->Loop(); });
}

HttpDataSource::~HttpDataSource() {
  {
    std::lock_guard lock(transfers_->mutex);
    transfers_->stopping = true;
  }
  curl_multi_wakeup(transfers_->multi);
  transfers_->thread.join();
  curl_multi_cleanup(transfers_->multi);
}

uint64_t HttpDataSource::FileSize() const { return transfers_->fileSize.load(std::memory_order_relaxed); }

void HttpDataSource::StartRead(int requestId, uint64_t offset, uint64_t size) {
  {
    std::lock_guard lock(transfers_->mutex);
    transfers_->incoming.push_back({requestId, offset, size});
  }
  curl_multi_wakeup(transfers_->multi);
}

}  // namespace ovra::host
