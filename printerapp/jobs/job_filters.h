// The formats the printer takes, each turned into a label job through the
// plug-in: PWG and Apple raster, PNG and JPEG pictures, PDF and plain text.
#pragma once

#include "printerapp/rendering/label_pipeline.h"

#include <pappl/pappl.h>

#include <optional>
#include <string>

// Registers a filter for each format PAPPL does not read itself.
void addJobFilters(pappl_system_t* system);

// Prints the job's document, whatever its format. PAPPL reads raster and
// pictures itself and hands them to the driver's raster interface; the
// driver prints the document through the plug-in instead when the raster
// job starts, so every format reaches the printer as labelprint sends it.
bool printDocument(pappl_job_t* job, pappl_device_t* device);

// A document PAPPL would send to the printer as it is, which no label
// printer understands: the job ends with the reason.
bool printRaw(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);

// Types a document sent as application/octet-stream by its first bytes:
// PDF, JPEG, or UTF-8 text.
const char* typeByContent(const unsigned char* header, size_t size, void* context);

// A sink that writes to the job's device page by page.
DeviceSink deviceSink(pappl_device_t* device);

// The printer's settings with what this job asks for itself; nullopt, with
// `problem`, when the job asks for a value out of range.
std::optional<LabelSettings> jobSettings(pappl_job_t* job, const pappl_pr_options_t* options,
                                         std::string& problem);

// After a job: its last label drawn for the printer's web page.
void keepLastLabel(pappl_job_t* job, const DeviceSink& sink);
