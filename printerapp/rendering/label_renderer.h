// A job's document through the plug-in, as labelprint prints it: PDF pages
// rendered on the label, a picture fitted to it, raster pages at their own
// size, plain text in the printer-resident font; the job's copies and page
// ranges, each copy a page. What a printer's render worker does for each job.
#pragma once

#include "printerapp/rendering/label_pipeline.h"
#include "printerapp/rendering/render_protocol.h"

#include <functional>
#include <string>

struct RenderResult {
    bool ok = false;
    bool stopped = false; // `stop` said so before a page
    std::string error;
};

// `stop` is asked before each page; once it says so, no further page is
// printed and the document ends (with the job-end commands).
RenderResult renderDocument(PluginEngine& engine, const RenderRequest& request,
                            standin::SpoolSink& sink, const std::function<bool()>& stop);
