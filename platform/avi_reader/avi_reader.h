#pragma once
// Everything a tool needs to look into an AVI file written by any OpenDML-aware writer: read its
// structure (readAvi, parseAvi), check it (checkAvi), print its outline (printAvi) and fetch the
// payloads of its data chunks (PayloadReader). Written from the file format alone, so that it can
// judge the files the product writes.

#include "platform/avi_reader/avi_checker.h"
#include "platform/avi_reader/avi_file.h"
#include "platform/avi_reader/avi_parser.h"
#include "platform/avi_reader/avi_printer.h"
#include "platform/avi_reader/fourcc.h"
#include "platform/avi_reader/payload_reader.h"
#include "platform/avi_reader/problem.h"
