#include "HttpReply.h"

MHD_Result Queue(MHD_Connection* connection, unsigned status, MHD_Response* response) {
    if (!response)
        return MHD_NO;
    const MHD_Result queued = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return queued;
}

MHD_Response* TextResponse(const std::string& text, const char* type) {
    MHD_Response* response = MHD_create_response_from_buffer(
        text.size(), const_cast<char*>(text.data()), MHD_RESPMEM_MUST_COPY);
    if (response) {
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type);
        MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-cache");
    }
    return response;
}

MHD_Result QueueText(MHD_Connection* connection, unsigned status, const std::string& line) {
    return Queue(connection, status, TextResponse(line + "\n", "text/plain; charset=utf-8"));
}
