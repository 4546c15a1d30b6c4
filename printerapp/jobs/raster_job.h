// The driver's raster interface: PWG and Apple raster pages, as PAPPL reads
// them from the client, through the plug-in page by page. Other formats
// PAPPL reads itself (pictures) are printed whole from the document when the
// raster job starts, and their raster lines are passed over.
#pragma once

#include <pappl/pappl.h>

bool rasterStartJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);
bool rasterStartPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device,
                     unsigned page);
bool rasterWriteLine(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device,
                     unsigned y, const unsigned char* line);
bool rasterEndPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device,
                   unsigned page);
bool rasterEndJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);

// A dither matrix for PAPPL to make grey into dots with: the pictures'
// threshold at mid grey, or an ordered dither when `dither`.
void fillDitherMatrix(pappl_dither_t& matrix, bool dither);
