#include <lber.h>

#include "ldap/LdapClient.h"

namespace LdapHelper {
namespace {

constexpr uint32_t E_OUTOFMEMORY_CODE = 0x8007000E;
constexpr uint32_t E_FAIL_CODE = 0x80004005;

template <typename Fill>
uint32_t Encode(std::string& value, Fill fill) {
    BerElement* ber = ber_alloc_t(LBER_USE_DER);
    if (ber == nullptr) {
        return E_OUTOFMEMORY_CODE;
    }
    fill(ber);
    berval* flat = nullptr;
    int rc = ber_flatten(ber, &flat);
    ber_free(ber, 1);
    if (rc != 0 || flat == nullptr) {
        return E_FAIL_CODE;
    }
    value.assign(flat->bv_val, flat->bv_len);
    ber_bvfree(flat);
    return 0;
}

}  // namespace

uint32_t BerEncodeFlags(int flags, std::string& value) {
    return Encode(value, [&](BerElement* ber) { ber_printf(ber, "{i}", flags); });
}

uint32_t BerEncodeDirsync(int flags, int max_bytes, const std::string& cookie, std::string& value) {
    return Encode(value, [&](BerElement* ber) {
        ber_printf(ber, "{iio}", flags, max_bytes, cookie.data(),
                   static_cast<ber_len_t>(cookie.size()));
    });
}

uint32_t BerEncodePage(uint32_t size, const std::string& cookie, std::string& value) {
    return Encode(value, [&](BerElement* ber) {
        ber_printf(ber, "{io}", static_cast<ber_int_t>(size), cookie.data(),
                   static_cast<ber_len_t>(cookie.size()));
    });
}

bool BerDecodeDirsync(const std::string& value, int& more, std::string& cookie) {
    berval input{static_cast<ber_len_t>(value.size()), const_cast<char*>(value.data())};
    BerElement* ber = ber_init(&input);
    if (ber == nullptr) {
        return false;
    }
    ber_int_t flag = 0;
    ber_int_t maxLength = 0;
    berval* data = nullptr;
    bool ok = ber_scanf(ber, "{iiO}", &flag, &maxLength, &data) != LBER_ERROR;
    if (ok) {
        more = flag;
        cookie = data ? std::string(data->bv_val, data->bv_len) : std::string();
    }
    if (data) {
        ber_bvfree(data);
    }
    ber_free(ber, 1);
    return ok;
}

}  // namespace LdapHelper
