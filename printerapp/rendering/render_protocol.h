// What the server and a render worker say to each other over the
// stream socket between them: the server sends a job to render (and may send
// a cancel while it renders); the worker answers with the job's spool stream
// page by page, then how the job ended. Both ends are the same program, so
// the settings block goes as its bytes.
#pragma once

#include "host/page_selection.h"
#include "imaging/label_fit.h"
#include "printerapp/printers/label_settings.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum class DocumentKind : std::uint8_t { kPdf, kPng, kJpeg, kRaster, kText };

struct RenderRequest {
    DocumentKind kind = DocumentKind::kPdf;
    std::string path;
    std::int32_t labelWidth = 0; // dots: the label pages and pictures are fitted to
    std::int32_t labelHeight = 0;
    Scaling scaling = Scaling::kAuto;
    standin::PageSelection selection;
    LabelSettings settings;
};

// How the worker ended a job: what it wrote after the last page (the
// job-end commands), and why it failed, when it did.
struct RenderEnd {
    bool ok = false;
    bool canceled = false;
    std::string error;
    std::vector<std::uint8_t> trailing;
};

enum class MessageType : std::uint8_t {
    kJob = 'J',    // server: a RenderRequest
    kCancel = 'C', // server: stop at the next page, and end the document
    kPage = 'P',   // worker: one page's bytes
    kEnd = 'E',    // worker: a RenderEnd
};

// A job's message carries the document as an open file: the worker, which
// may run as another user, reads the one file it is given and no other.
struct Message {
    MessageType type = MessageType::kEnd;
    std::vector<std::uint8_t> payload;
    int passed = -1; // the file descriptor that came with it; the next receive closes it

    Message() = default;
    Message(const Message&) = delete;
    Message& operator=(const Message&) = delete;
    ~Message();
};

// Whole messages on a stream socket, with a file descriptor (`passed`) sent
// along when not negative; false once the peer is gone or the stream makes
// no sense.
bool sendMessage(int fd, MessageType type, const std::uint8_t* data, std::size_t size,
                 int passed = -1);
bool sendMessage(int fd, MessageType type, const std::vector<std::uint8_t>& payload,
                 int passed = -1);
bool receiveMessage(int fd, Message& message);

std::vector<std::uint8_t> encodeRequest(const RenderRequest& request);
std::optional<RenderRequest> decodeRequest(const std::vector<std::uint8_t>& payload);
std::vector<std::uint8_t> encodeEnd(const RenderEnd& end);
std::optional<RenderEnd> decodeEnd(const std::vector<std::uint8_t>& payload);
