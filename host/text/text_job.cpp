#include "host/text/text_job.h"

#include "host/text/text_calls.h"

namespace standin {

std::vector<TextPage> layOutText(const std::vector<std::vector<std::u16string>>& pages,
                                 const TextLayout& layout) {
    std::vector<TextPage> laidOut;
    for (const auto& lines : pages) {
        TextPage page;
        LONG top = layout.topMargin;
        for (const std::u16string& line : lines) {
            if (!line.empty()) {
                TextCallSpec call;
                call.text = line;
                call.x = layout.leftMargin;
                call.background = {layout.leftMargin, top,
                                   layout.leftMargin +
                                       static_cast<LONG>(line.size()) * layout.advance,
                                   top + layout.lineHeight};
                page.calls.push_back(std::move(call));
            }
            top += layout.lineHeight + layout.lineGap;
        }
        laidOut.push_back(std::move(page));
    }
    return laidOut;
}

namespace {

// One call as the engine makes it, in the font and colour it asks for.
void makeTextCall(Device& device, const TextCallSpec& request, NamedFont& printerFont,
                  NamedFont& otherFont) {
    TextString string(request.text, request.background, request.x);
    if (!request.batches.empty())
        string.deliverInBatches(request.batches);
    BRUSHOBJ foreground = solidBrush(request.colour);
    textOut(device, string, request.printerFont ? printerFont.fontobj() : otherFont.fontobj(),
            &foreground);
}

} // namespace

JobOutcome printTextJob(const PluginModule& module, const TextJob& job) {
    return runJob(module, job, [&job](Device& device, JobOutcome& outcome) {
        NamedFont printerFont(kPrinterFontUniqueName);
        NamedFont otherFont(u"Label Sans Regular");
        bool stopped = false;
        for (const TextDocument& document : job.documents) {
            device.startDoc();
            for (DWORD id : document.callbacks)
                device.commandCallback(id);
            for (std::size_t p = 0; p < document.pages.size(); ++p) {
                const TextPage& page = document.pages[p];
                startPageOf(device, outcome);
                for (DWORD id : page.callbacks)
                    device.commandCallback(id);
                for (const TextCallSpec& call : page.calls)
                    makeTextCall(device, call, printerFont, otherFont);
                stopped = (!document.aborted || p + 1 < document.pages.size()) &&
                          !sendPageOf(device, job, outcome);
                if (stopped)
                    break;
            }
            // A job that cannot go on ends its document as aborted.
            device.endDoc(document.aborted || stopped ? ED_ABORTDOC : 0);
            if (stopped)
                break;
        }
    });
}

} // namespace standin
