#include "components/extractor/ReadAhead.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <utility>

#include "components/extractor/ExtractError.h"
#include "components/extractor/MessageFile.h"
#include "platform/FileHandle.h"

namespace extractor {

// A message file opened and parsed ahead, and which file it was, as it was then.
struct PreparedParse {
    ParsedMessage parsed;
    struct stat file {};

    bool StillIs(const struct stat& now) const {
        return now.st_dev == file.st_dev && now.st_ino == file.st_ino &&
               now.st_size == file.st_size && now.st_mtim.tv_sec == file.st_mtim.tv_sec &&
               now.st_mtim.tv_nsec == file.st_mtim.tv_nsec;
    }
};

namespace {

// Opens and parses a message file as ExtractMessage does; null when it cannot be opened or is
// not a regular file (the call that wants it then finds out again, and says why).
std::unique_ptr<PreparedParse> OpenAndParse(const std::string& messagePath) {
    try {
        struct stat st {};
        std::string why;
        platform::UniqueFd fd = OpenMessageFile(messagePath, st, why);
        if (fd.Get() < 0) return nullptr;
        auto prepared = std::make_unique<PreparedParse>();
        prepared->file = st;
        prepared->parsed = ParseMessageFile(fd.Release());
        return prepared;
    } catch (...) { // out of memory: the call that wants it tries again
        return nullptr;
    }
}

} // namespace

struct MessagePreparer::Impl {
    // Messages differ in size, so the worker keeps a few ahead of the caller: one message that
    // takes long to parse then does not leave the caller waiting.
    static constexpr size_t kAhead = 4;
    using Ready = std::pair<std::string, std::unique_ptr<PreparedParse>>;

    std::mutex lock;
    std::condition_variable changed;
    std::thread worker;
    bool stopping = false;
    std::deque<std::string> wanted; // files to parse, in the order named
    std::string parsing;            // the file under way on the worker, or empty
    std::deque<Ready> ready;        // parses not yet taken, oldest first

    bool Known(const std::string& path) const {
        if (path == parsing || std::find(wanted.begin(), wanted.end(), path) != wanted.end())
            return true;
        return std::any_of(ready.begin(), ready.end(),
                           [&](const Ready& r) { return r.first == path; });
    }

    void Run() {
        std::unique_lock<std::mutex> guard(lock);
        for (;;) {
            changed.wait(guard, [this] {
                return stopping || (!wanted.empty() && ready.size() < kAhead);
            });
            if (stopping) return;
            parsing = std::move(wanted.front());
            wanted.pop_front();
            guard.unlock();
            std::unique_ptr<PreparedParse> parsed = OpenAndParse(parsing);
            guard.lock();
            ready.emplace_back(std::move(parsing), std::move(parsed));
            parsing.clear();
            changed.notify_all();
        }
    }
};

MessagePreparer::MessagePreparer() : m_impl(std::make_unique<Impl>()) {}

MessagePreparer::~MessagePreparer() {
    {
        std::lock_guard<std::mutex> guard(m_impl->lock);
        m_impl->stopping = true;
    }
    m_impl->changed.notify_all();
    if (m_impl->worker.joinable()) m_impl->worker.join();
}

void MessagePreparer::Prepare(const std::string& messagePath) {
    if (messagePath.empty()) return;
    std::deque<Impl::Ready> dropped; // freed outside the lock
    {
        std::lock_guard<std::mutex> guard(m_impl->lock);
        if (m_impl->Known(messagePath)) return;
        if (!m_impl->worker.joinable()) {
            try {
                m_impl->worker = std::thread([impl = m_impl.get()] { impl->Run(); });
            } catch (const std::system_error&) {
                return; // no thread to be had: every message is parsed when it is wanted
            }
        }
        // The last few named are the ones the caller asks for next. Older ones that were never
        // taken (a run that stopped or was cancelled) go first, parsed or not, so that they
        // neither hold their files and memory nor keep the worker from the newer ones.
        // The file under way counts too: it joins the parses not taken when it is done.
        const size_t underWay = m_impl->parsing.empty() ? 0 : 1;
        while (m_impl->ready.size() + m_impl->wanted.size() + underWay >= Impl::kAhead) {
            if (m_impl->ready.empty()) {
                m_impl->wanted.pop_front();
                continue;
            }
            dropped.push_back(std::move(m_impl->ready.front()));
            m_impl->ready.pop_front();
        }
        m_impl->wanted.push_back(messagePath);
    }
    m_impl->changed.notify_all();
}

bool MessagePreparer::WaitUntilParsed(const std::string& messagePath) {
    std::unique_lock<std::mutex> guard(m_impl->lock);
    auto isReady = [&](const Impl::Ready& r) { return r.first == messagePath && r.second; };
    m_impl->changed.wait(guard, [&] {
        const bool queued = std::find(m_impl->wanted.begin(), m_impl->wanted.end(),
                                      messagePath) != m_impl->wanted.end();
        const bool stalled = queued && m_impl->ready.size() >= Impl::kAhead;
        return stalled || (!queued && m_impl->parsing != messagePath);
    });
    return std::any_of(m_impl->ready.begin(), m_impl->ready.end(), isReady);
}

std::unique_ptr<PreparedParse> MessagePreparer::Take(const std::string& messagePath) {
    std::unique_lock<std::mutex> guard(m_impl->lock);
    auto queued = std::find(m_impl->wanted.begin(), m_impl->wanted.end(), messagePath);
    if (queued != m_impl->wanted.end()) { // not begun: the caller is as quick on its own
        m_impl->wanted.erase(queued);
        return nullptr;
    }
    m_impl->changed.wait(guard, [&] { return m_impl->parsing != messagePath; });
    for (auto it = m_impl->ready.begin(); it != m_impl->ready.end(); ++it) {
        if (it->first != messagePath) continue;
        std::unique_ptr<PreparedParse> parsed = std::move(it->second);
        m_impl->ready.erase(it);
        guard.unlock();
        m_impl->changed.notify_all(); // room for the next
        return parsed;
    }
    return nullptr;
}

ParsedMessage OpenParsedMessage(const std::string& messagePath, MessagePreparer* ahead) {
    std::unique_ptr<PreparedParse> prepared = ahead ? ahead->Take(messagePath) : nullptr;
    struct stat st {};
    // The path must still name the file that was parsed, unchanged.
    if (prepared && ::stat(messagePath.c_str(), &st) == 0 && prepared->StillIs(st))
        return std::move(prepared->parsed);
    prepared.reset();
    std::string why;
    platform::UniqueFd messageFd = OpenMessageFile(messagePath, st, why);
    if (messageFd.Get() < 0)
        throw ExtractError("Cannot open the message \"" + messagePath + "\": " + why);
    return ParseMessageFile(messageFd.Release());
}

} // namespace extractor
