// One print job of the printer application through the plug-in: the pages or
// the text go through the Unidrv stand-in exactly as labelprint sends them,
// and the plug-in's writes go to the printer's device page by page.
#pragma once

#include "host/page_bitmap.h"
#include "host/plugin_module.h"
#include "host/print_job.h"
#include "host/spool_sink.h"
#include "printerapp/printers/label_settings.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// The plug-in module, loaded once for the server. Its module-wide state (the
// mode, the first-page flag, the text lines) is shared by every device in the
// process, so one job at a time goes through it; a job may hold it for the
// whole of its work (exclusive()), reading its document included.
class PluginEngine {
  public:
    // Loads the module at `path`; false, with `error`, when it cannot be.
    bool load(const std::string& path, std::string& error);
    // Loads the module at `path` at the first call, for a program that needs
    // it only now and then; later calls say whether it is loaded.
    bool loadOnce(const std::string& path, std::string& error);
    // The plug-in and everything a job reads its document with, for this
    // thread alone until the lock is let go.
    std::unique_lock<std::recursive_mutex> exclusive() {
        return std::unique_lock<std::recursive_mutex>(lock_);
    }

    // Uses a module loaded or linked in elsewhere, which stays its owner's.
    void use(const standin::PluginModule& module) { module_ = module, owned_ = false; }
    ~PluginEngine();

    // A label job of `pages`, the paper sized for `paperWidth` x
    // `paperHeight` dots as labelprint sizes it for its largest page.
    bool printLabels(standin::PageSource& pages, std::int32_t paperWidth, std::int32_t paperHeight,
                     int dpi, const LabelSettings& settings, standin::SpoolSink& sink,
                     std::string& error);

    // A text job of a UTF-8 document in the printer-resident font, the
    // document `copies` times.
    bool printText(std::string_view utf8, int dpi, const LabelSettings& settings, int copies,
                   standin::SpoolSink& sink, std::string& error);

  private:
    friend class LabelSession;
    std::recursive_mutex lock_;
    standin::PluginModule module_;
    bool owned_ = true;
};

// A label job whose pages are handed in one at a time, as PAPPL hands over
// raster pages; the plug-in is the job's alone until finish().
class LabelSession {
  public:
    LabelSession(PluginEngine& engine, std::int32_t paperWidth, std::int32_t paperHeight, int dpi,
                 const LabelSettings& settings, standin::SpoolSink& sink);
    LabelSession(const LabelSession&) = delete;
    LabelSession& operator=(const LabelSession&) = delete;
    ~LabelSession();

    bool printPage(const standin::PageView& page, std::string& error);
    // Ends the document (as aborted when `abort`); false, with `error`, when
    // the job did not go through.
    bool finish(bool abort, std::string& error);

  private:
    std::unique_lock<std::recursive_mutex> hold_;
    standin::LabelJob job_;
    std::unique_ptr<standin::LabelJobRun> run_;
    bool finished_ = false;
};

// The spool stream to a device: every write passed on at once, the device
// flushed at each page's end, and the last label program kept for the
// printer's web page.
class DeviceSink final : public standin::SpoolSink {
  public:
    using Writer = bool (*)(void* device, const std::uint8_t* bytes, std::size_t count);
    using Flusher = void (*)(void* device);
    DeviceSink(void* device, Writer writer, Flusher flusher)
        : device_(device), writer_(writer), flusher_(flusher) {}

    bool write(const BYTE* bytes, std::size_t count) override;
    bool pageDone() override;

    // What the last page that held a label program wrote.
    const std::vector<std::uint8_t>& lastLabel() const { return lastLabel_; }
    std::size_t bytesWritten() const { return written_; }
    // The device took no more data.
    bool failed() const { return failed_; }

  private:
    void* device_;
    Writer writer_;
    Flusher flusher_;
    bool failed_ = false;
    std::size_t written_ = 0;
    std::vector<std::uint8_t> page_;
    std::vector<std::uint8_t> lastLabel_;
};
