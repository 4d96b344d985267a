#include "HttpReply.h"

MHD_Result Queue(MHD_Connection* connection, unsigned status, MHD_Response* response) {
    if (!response)
        return MHD_NO;
    const MHD_Result queued = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return queued;
}

MHD_Response* TextResponse(const std::string& text, const char* type, const char* cacheControl) {
    MHD_Response* response = MHD_create_response_from_buffer(
        text.size(), const_cast<char*>(text.data()), MHD_RESPMEM_MUST_COPY);
    if (response) {
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type);
        MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, cacheControl);
    }
    return response;
}

MHD_Result QueueText(MHD_Connection* connection, unsigned status, const std::string& line) {
    return Queue(connection, status, TextResponse(line + "\n", "text/plain; charset=utf-8"));
}

const char* RequestHeader(MHD_Connection* connection, const char* name) {
    return MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
}
