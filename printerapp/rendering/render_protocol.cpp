#include "printerapp/rendering/render_protocol.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A message's payload is never larger than a label's spool stream can be.
constexpr std::uint32_t kMaxPayload = 256u << 20;

bool writeAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t wrote = send(fd, data, size, MSG_NOSIGNAL);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        data += wrote;
        size -= static_cast<std::size_t>(wrote);
    }
    return true;
}

// Reads `size` bytes; a file descriptor sent along with them becomes
// `passed` (one more is closed: a message carries at most one).
bool readAll(int fd, std::uint8_t* data, std::size_t size, int& passed) {
    while (size > 0) {
        iovec part{data, size};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
        msghdr header{};
        header.msg_iov = &part;
        header.msg_iovlen = 1;
        header.msg_control = control;
        header.msg_controllen = sizeof control;
        const ssize_t got = recvmsg(fd, &header, MSG_CMSG_CLOEXEC);
        if (got < 0 && errno == EINTR)
            continue;
        for (cmsghdr* c = CMSG_FIRSTHDR(&header); c; c = CMSG_NXTHDR(&header, c)) {
            if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS)
                continue;
            int arrived = -1;
            std::memcpy(&arrived, CMSG_DATA(c), sizeof arrived);
            if (passed < 0)
                passed = arrived;
            else
                close(arrived);
        }
        if (got <= 0)
            return false;
        data += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

// The message's head, with `passed` (unless negative) as its one file
// descriptor.
bool writeHead(int fd, const std::uint8_t* head, std::size_t size, int passed) {
    if (passed < 0)
        return writeAll(fd, head, size);
    iovec part{const_cast<std::uint8_t*>(head), size};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr header{};
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    header.msg_control = control;
    header.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&header);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof passed);
    std::memcpy(CMSG_DATA(c), &passed, sizeof passed);
    ssize_t wrote;
    while ((wrote = sendmsg(fd, &header, MSG_NOSIGNAL)) < 0 && errno == EINTR) {
    }
    if (wrote <= 0)
        return false;
    return writeAll(fd, head + wrote, size - static_cast<std::size_t>(wrote));
}

class Writer {
  public:
    void u32(std::uint32_t value) { bytes(&value, sizeof value); }
    void i32(std::int32_t value) { bytes(&value, sizeof value); }
    void text(const std::string& value) {
        u32(static_cast<std::uint32_t>(value.size()));
        bytes(value.data(), value.size());
    }
    void bytes(const void* data, std::size_t size) {
        if (size == 0)
            return; // an empty vector's data may be null
        const auto* first = static_cast<const std::uint8_t*>(data);
        out.insert(out.end(), first, first + size);
    }
    std::vector<std::uint8_t> out;
};

class Reader {
  public:
    explicit Reader(const std::vector<std::uint8_t>& in) : in_(in) {}
    bool u32(std::uint32_t& value) { return bytes(&value, sizeof value); }
    bool i32(std::int32_t& value) { return bytes(&value, sizeof value); }
    bool text(std::string& value) {
        std::uint32_t size = 0;
        if (!u32(size) || size > in_.size() - at_)
            return false;
        value.assign(reinterpret_cast<const char*>(in_.data() + at_), size);
        at_ += size;
        return true;
    }
    bool bytes(void* data, std::size_t size) {
        if (size > in_.size() - at_)
            return false;
        if (size == 0)
            return true; // an empty vector's data may be null
        std::memcpy(data, in_.data() + at_, size);
        at_ += size;
        return true;
    }
    bool done() const { return at_ == in_.size(); }

  private:
    const std::vector<std::uint8_t>& in_;
    std::size_t at_ = 0;
};

} // namespace

Message::~Message() {
    if (passed >= 0)
        close(passed);
}

bool sendMessage(int fd, MessageType type, const std::uint8_t* data, std::size_t size, int passed) {
    if (size > kMaxPayload)
        return false;
    std::uint8_t head[5] = {static_cast<std::uint8_t>(type)};
    const auto length = static_cast<std::uint32_t>(size);
    std::memcpy(head + 1, &length, sizeof length);
    return writeHead(fd, head, sizeof head, passed) && writeAll(fd, data, size);
}

bool sendMessage(int fd, MessageType type, const std::vector<std::uint8_t>& payload, int passed) {
    return sendMessage(fd, type, payload.data(), payload.size(), passed);
}

bool receiveMessage(int fd, Message& message) {
    if (message.passed >= 0)
        close(message.passed);
    message.passed = -1;
    std::uint8_t head[5];
    if (!readAll(fd, head, sizeof head, message.passed))
        return false;
    std::uint32_t length = 0;
    std::memcpy(&length, head + 1, sizeof length);
    if (length > kMaxPayload)
        return false;
    message.type = static_cast<MessageType>(head[0]);
    message.payload.resize(length);
    return readAll(fd, message.payload.data(), length, message.passed);
}

namespace {

// Each part of the media setup as a number, -1 (or absent) for unset.
void writeSetup(Writer& out, const standin::MediaSetup& setup) {
    out.i32(setup.tracking ? static_cast<std::int32_t>(*setup.tracking) : -1);
    out.i32(setup.sensingLength);
    out.i32(setup.mode ? static_cast<std::int32_t>(*setup.mode) : -1);
    const std::optional<int> values[] = {setup.modeOffset, setup.speed, setup.topOffset};
    for (const std::optional<int>& value : values) {
        out.u32(value ? 1 : 0);
        out.i32(value.value_or(0));
    }
}

bool readSetup(Reader& in, standin::MediaSetup& setup) {
    std::int32_t tracking = 0, mode = 0;
    if (!in.i32(tracking) || tracking < -1 ||
        tracking > static_cast<std::int32_t>(standin::MediaTracking::kContinuous) ||
        !in.i32(setup.sensingLength) || !in.i32(mode) || mode < -1 ||
        mode > static_cast<std::int32_t>(standin::LabelMode::kCutterDelayed))
        return false;
    if (tracking >= 0)
        setup.tracking = static_cast<standin::MediaTracking>(tracking);
    if (mode >= 0)
        setup.mode = static_cast<standin::LabelMode>(mode);
    std::optional<int>* values[] = {&setup.modeOffset, &setup.speed, &setup.topOffset};
    for (std::optional<int>* value : values) {
        std::uint32_t present = 0;
        std::int32_t number = 0;
        if (!in.u32(present) || !in.i32(number))
            return false;
        if (present)
            *value = number;
    }
    return true;
}

} // namespace

std::vector<std::uint8_t> encodeRequest(const RenderRequest& request) {
    Writer out;
    out.u32(static_cast<std::uint32_t>(request.kind));
    out.text(request.path);
    out.i32(request.labelWidth);
    out.i32(request.labelHeight);
    out.u32(static_cast<std::uint32_t>(request.scaling));
    out.i32(request.selection.copies);
    out.u32(request.selection.collate ? 1 : 0);
    out.u32(static_cast<std::uint32_t>(request.selection.ranges.size()));
    for (const standin::PageRange& range : request.selection.ranges) {
        out.u32(static_cast<std::uint32_t>(range.first));
        out.u32(static_cast<std::uint32_t>(range.last));
    }
    out.bytes(&request.settings.block, sizeof request.settings.block);
    out.i32(request.settings.codePage);
    out.u32(request.settings.dither ? 1 : 0);
    writeSetup(out, request.settings.setup);
    return out.out;
}

std::optional<RenderRequest> decodeRequest(const std::vector<std::uint8_t>& payload) {
    Reader in(payload);
    RenderRequest request;
    std::uint32_t kind = 0, scaling = 0, collate = 0, ranges = 0, dither = 0;
    if (!in.u32(kind) || kind > static_cast<std::uint32_t>(DocumentKind::kText) ||
        !in.text(request.path) || !in.i32(request.labelWidth) || !in.i32(request.labelHeight) ||
        !in.u32(scaling) || !in.i32(request.selection.copies) || !in.u32(collate) ||
        !in.u32(ranges) || ranges > payload.size())
        return std::nullopt;
    request.kind = static_cast<DocumentKind>(kind);
    request.scaling = static_cast<Scaling>(scaling);
    request.selection.collate = collate != 0;
    for (std::uint32_t i = 0; i < ranges; ++i) {
        std::uint32_t first = 0, last = 0;
        if (!in.u32(first) || !in.u32(last))
            return std::nullopt;
        request.selection.ranges.push_back({first, last});
    }
    if (!in.bytes(&request.settings.block, sizeof request.settings.block) ||
        !in.i32(request.settings.codePage) || !in.u32(dither) ||
        !readSetup(in, request.settings.setup) || !in.done())
        return std::nullopt;
    request.settings.dither = dither != 0;
    return request;
}

std::vector<std::uint8_t> encodeEnd(const RenderEnd& end) {
    Writer out;
    out.u32((end.ok ? 1u : 0u) | (end.canceled ? 2u : 0u));
    out.text(end.error);
    out.u32(static_cast<std::uint32_t>(end.trailing.size()));
    out.bytes(end.trailing.data(), end.trailing.size());
    return out.out;
}

std::optional<RenderEnd> decodeEnd(const std::vector<std::uint8_t>& payload) {
    Reader in(payload);
    RenderEnd end;
    std::uint32_t flags = 0, size = 0;
    if (!in.u32(flags) || !in.text(end.error) || !in.u32(size) || size > payload.size())
        return std::nullopt;
    end.trailing.resize(size);
    if (!in.bytes(end.trailing.data(), size) || !in.done())
        return std::nullopt;
    end.ok = (flags & 1u) != 0;
    end.canceled = (flags & 2u) != 0;
    return end;
}
