#pragma once

#include <microhttpd.h>

#include <string>

// Answers of the web listener's routes.

// Queues `response` (null when out of memory: the library then closes the
// connection) and releases our hold on it.
MHD_Result Queue(MHD_Connection* connection, unsigned status, MHD_Response* response);

// A small document held in the response; by default never taken from a
// cache without asking.
MHD_Response* TextResponse(const std::string& text, const char* type,
                           const char* cacheControl = "no-cache");

// A one-line plain-text answer.
MHD_Result QueueText(MHD_Connection* connection, unsigned status, const std::string& line);

// A request header's value, or null.
const char* RequestHeader(MHD_Connection* connection, const char* name);
