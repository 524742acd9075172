// The hosted service's reply over any body: an answer with text, or one of the client's errors.
#include "core/responses_client.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // Mostly a success; now and then another status.
    const int status = data[0] < 0xF0 ? 200 : 100 + data[0];
    try {
        const tamsel::ModelAnswer answer =
            tamsel::ResponsesClient::decode(fuzzsupport::bytes(data + 1, size - 1), status);
        fuzzsupport::require(!answer.text.isEmpty(), "an answer has text");
    } catch (const base::Error&) {
    }
    return 0;
}
