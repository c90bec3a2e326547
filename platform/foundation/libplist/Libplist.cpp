#include "platform/foundation/libplist/Libplist.h"

namespace platform::plist::libplist {

namespace {

std::vector<std::uint8_t> bytesOf(const char* text, std::uint32_t length) {
    if (!text) return {};
    return std::vector<std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text),
                                     reinterpret_cast<const std::uint8_t*>(text) + length);
}

}  // namespace

#if TARNWICK_LIBPLIST_HAS_ERROR_CODES

plist_t fromMemory(const char* bytes, std::uint32_t length) {
    plist_t root = nullptr;
    plist_format_t format = PLIST_FORMAT_NONE;
    const plist_err_t error = plist_from_memory(bytes, length, &root, &format);
    if (error == PLIST_ERR_SUCCESS && (format == PLIST_FORMAT_XML || format == PLIST_FORMAT_BINARY)) return root;
    if (root) plist_free(root);
    return nullptr;
}

namespace {

using Writer = plist_err_t (*)(plist_t, char**, std::uint32_t*);

std::vector<std::uint8_t> written(plist_t node, Writer write) {
    char* text = nullptr;
    std::uint32_t length = 0;
    const plist_err_t error = write(node, &text, &length);
    std::vector<std::uint8_t> result = error == PLIST_ERR_SUCCESS ? bytesOf(text, length) : std::vector<std::uint8_t>{};
    if (text) plist_mem_free(text);
    return result;
}

}  // namespace

std::vector<std::uint8_t> toBinary(plist_t node) { return written(node, plist_to_bin); }

std::vector<std::uint8_t> toXml(plist_t node) { return written(node, plist_to_xml); }

#else

// Reads only the XML and binary formats.
plist_t fromMemory(const char* bytes, std::uint32_t length) {
    plist_t root = nullptr;
    plist_from_memory(bytes, length, &root);
    return root;
}

namespace {

using Writer = void (*)(plist_t, char**, std::uint32_t*);
using Releaser = void (*)(char*);

std::vector<std::uint8_t> written(plist_t node, Writer write, Releaser release) {
    char* text = nullptr;
    std::uint32_t length = 0;
    write(node, &text, &length);
    std::vector<std::uint8_t> result = bytesOf(text, length);
    if (text) release(text);
    return result;
}

}  // namespace

std::vector<std::uint8_t> toBinary(plist_t node) { return written(node, plist_to_bin, plist_to_bin_free); }

std::vector<std::uint8_t> toXml(plist_t node) { return written(node, plist_to_xml, plist_to_xml_free); }

#endif

}  // namespace platform::plist::libplist
