#include "components/oestore/MimeMessage.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "components/extractor/GMimeSetup.h"
#include "components/oestore/RefCounted.h"

namespace oestore {

namespace {

struct GObjectUnref {
    void operator()(gpointer p) const {
        if (p) g_object_unref(p);
    }
};
template <typename T> using GPtr = std::unique_ptr<T, GObjectUnref>;

// A part's own name, reduced to a plain file name: no folders, no separators.
std::string PlainName(const char* name) {
    std::string n = name ? name : "";
    std::size_t slash = n.find_last_of("/\\");
    if (slash != std::string::npos) n = n.substr(slash + 1);
    if (n == "." || n == "..") n.clear();
    return n;
}

std::string SizeText(gint64 size) {
    char text[32];
    if (size < 1024)
        std::snprintf(text, sizeof text, "%lld bytes", static_cast<long long>(size));
    else
        std::snprintf(text, sizeof text, "%lld KB", static_cast<long long>((size + 1023) / 1024));
    return text;
}

// Writes an object's decoded content to a stream; the byte count, -1 on failure.
gint64 WriteContent(GMimeObject* object, GMimeStream* out) {
    if (GMIME_IS_MESSAGE_PART(object)) {
        GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
        return inner ? g_mime_object_write_to_stream(GMIME_OBJECT(inner), nullptr, out) : 0;
    }
    GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(object));
    return content ? g_mime_data_wrapper_write_to_stream(content, out) : 0;
}

class CMimeBody : public CRefCounted<platform::IMimeBody> {
public:
    CMimeBody(GMimeObject* object, std::string name) : m_object(object), m_name(std::move(name)) {
        g_object_ref(object);
    }
    KHRESULT GetDisplayName(char** name) override {
        if (!name) return platform::kE_POINTER;
        GPtr<GMimeStream> null(g_mime_stream_null_new());
        gint64 size = WriteContent(m_object.get(), null.get());
        *name = platform::CoTaskStrDup((m_name + " (" + SizeText(size < 0 ? 0 : size) + ")").c_str());
        return *name ? platform::kS_OK : platform::kE_OUTOFMEMORY;
    }
    KHRESULT SaveToFile(int encoding, const char* path) override {
        if (!path || encoding != platform::kIET_BINARY) return platform::kE_INVALIDARG;
        // A link someone put where the file goes is not followed.
        int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0) return platform::kE_FAIL;
        GPtr<GMimeStream> out(g_mime_stream_fs_new(fd));
        gint64 written = WriteContent(m_object.get(), out.get());
        bool ok = written >= 0 && g_mime_stream_flush(out.get()) == 0;
        return ok ? platform::kS_OK : platform::kE_FAIL;
    }

protected:
    const char* InterfaceId() const override { return platform::kIID_IMimeBody; }

private:
    GPtr<GMimeObject> m_object;
    std::string m_name;
};

class CMimeMessage : public CRefCounted<platform::IMimeMessage> {
public:
    explicit CMimeMessage(GMimeMessage* message) : m_message(message) {
        if (GMimeObject* body = g_mime_message_get_mime_part(message)) Collect(body, true);
    }
    KHRESULT GetAttachments(platform::DWORD* count, platform::HBODY** bodies) override {
        if (!count || !bodies) return platform::kE_POINTER;
        *count = static_cast<platform::DWORD>(m_parts.size());
        *bodies = nullptr;
        if (m_parts.empty()) return platform::kS_OK;
        auto* array = static_cast<platform::HBODY*>(
            platform::CoTaskMemAlloc(m_parts.size() * sizeof(platform::HBODY)));
        if (!array) return platform::kE_OUTOFMEMORY;
        for (std::size_t i = 0; i < m_parts.size(); ++i)
            array[i] = reinterpret_cast<platform::HBODY>(i + 1);
        *bodies = array;
        return platform::kS_OK;
    }
    KHRESULT BindToObject(platform::HBODY body, const char* iid, void** out) override {
        if (!out) return platform::kE_POINTER;
        *out = nullptr;
        auto index = reinterpret_cast<std::uintptr_t>(body);
        if (index == 0 || index > m_parts.size()) return platform::kE_INVALIDARG;
        if (!iid || std::strcmp(iid, platform::kIID_IMimeBody) != 0) return platform::kE_NOINTERFACE;
        const Part& p = m_parts[index - 1];
        *out = static_cast<platform::IMimeBody*>(new CMimeBody(p.object, p.name));
        return platform::kS_OK;
    }

protected:
    const char* InterfaceId() const override { return platform::kIID_IMimeMessage; }

private:
    struct Part {
        GMimeObject* object;
        std::string name;
    };

    // Attachments: every part with a name or an attachment disposition, every part that is not
    // text, and attached messages (not entered). The first text parts are the message's body.
    // A part without a name gets one in the form "ATT00001.dat".
    void Collect(GMimeObject* object, bool topLevel) {
        if (GMIME_IS_MULTIPART(object)) {
            GMimeMultipart* multi = GMIME_MULTIPART(object);
            for (int i = 0; i < g_mime_multipart_get_count(multi); ++i)
                Collect(g_mime_multipart_get_part(multi, i), false);
            return;
        }
        std::string name;
        if (GMIME_IS_PART(object)) {
            GMimePart* part = GMIME_PART(object);
            name = PlainName(g_mime_part_get_filename(part));
            GMimeContentType* type = g_mime_object_get_content_type(object);
            bool text = type && g_mime_content_type_is_type(type, "text", "*");
            if (name.empty() && !g_mime_part_is_attachment(part) && (text || topLevel)) return;
        } else if (!GMIME_IS_MESSAGE_PART(object)) {
            return;
        }
        if (name.empty()) {
            char generated[32];
            std::snprintf(generated, sizeof generated, "ATT%05zu.%s", m_parts.size() + 1,
                          GMIME_IS_MESSAGE_PART(object) ? "eml" : "dat");
            name = generated;
        }
        m_parts.push_back({object, name});
    }

    GPtr<GMimeMessage> m_message;
    std::vector<Part> m_parts;
};

class CFileStream : public CRefCounted<platform::IStream> {
public:
    explicit CFileStream(int fd) : m_fd(fd) {}
    KHRESULT Read(void* buffer, platform::DWORD size, platform::DWORD* read) override {
        ssize_t n = ::read(m_fd, buffer, size);
        if (n < 0) return platform::kE_FAIL;
        if (read) *read = static_cast<platform::DWORD>(n);
        return platform::kS_OK;
    }

protected:
    ~CFileStream() override { ::close(m_fd); }
    const char* InterfaceId() const override { return platform::kIID_IStream; }

private:
    int m_fd;
};

} // namespace

platform::IMimeMessage* OpenMimeMessage(int fd) {
    GMimeParserOptions* options = extractor::SharedParserOptions();
    GPtr<GMimeStream> stream(g_mime_stream_fs_new(fd));
    GPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    GMimeMessage* message = g_mime_parser_construct_message(parser.get(), options);
    if (!message) return nullptr;
    return new CMimeMessage(message);
}

platform::IStream* OpenMessageStream(int fd) {
    return new CFileStream(fd);
}

} // namespace oestore
