#include <lber.h>
#include <ldap.h>

#include <iterator>

#include "ldap/LdapClient.h"

namespace LdapHelper {
namespace {

// Windows error codes the table maps to.
constexpr uint32_t NO_ERROR = 0;
constexpr uint32_t ERROR_FILE_NOT_FOUND = 2;
constexpr uint32_t ERROR_ACCESS_DENIED = 5;
constexpr uint32_t ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr uint32_t ERROR_DEV_NOT_EXIST = 55;
constexpr uint32_t ERROR_BAD_NET_RESP = 58;
constexpr uint32_t ERROR_UNEXP_NET_ERR = 59;
constexpr uint32_t ERROR_INVALID_PARAMETER = 87;
constexpr uint32_t ERROR_OPEN_FAILED = 110;
constexpr uint32_t ERROR_INSUFFICIENT_BUFFER = 122;
constexpr uint32_t ERROR_INVALID_NAME = 123;
constexpr uint32_t ERROR_INVALID_LEVEL = 124;
constexpr uint32_t ERROR_BUSY = 170;
constexpr uint32_t ERROR_ALREADY_EXISTS = 183;
constexpr uint32_t ERROR_MORE_DATA = 234;
constexpr uint32_t ERROR_CAN_NOT_COMPLETE = 1003;
constexpr uint32_t ERROR_SERVICE_REQUEST_TIMEOUT = 1053;
constexpr uint32_t ERROR_NOT_FOUND = 1168;
constexpr uint32_t ERROR_CANCELLED = 1223;
constexpr uint32_t ERROR_CONNECTION_REFUSED = 1225;
constexpr uint32_t ERROR_WRONG_PASSWORD = 1323;
constexpr uint32_t ERROR_TIMEOUT = 1460;
constexpr uint32_t ERROR_NOT_ENOUGH_QUOTA = 1816;
constexpr uint32_t ERROR_DS_SORT_CONTROL_MISSING = 8261;
constexpr uint32_t ERROR_DS_OFFSET_RANGE_ERROR = 8262;
constexpr uint32_t ERROR_DS_GENERIC_ERROR = 8341;

// LDAP result code (Windows numbering) -> Windows error, indexed by the result code. Codes
// without a row of their own, and codes past the end, map to ERROR_DS_GENERIC_ERROR.
constexpr uint32_t kWin32ForLdap[] = {
    NO_ERROR,                       // 0x00 success
    ERROR_OPEN_FAILED,              // 0x01 operationsError
    ERROR_INVALID_LEVEL,            // 0x02 protocolError
    ERROR_TIMEOUT,                  // 0x03 timeLimitExceeded
    ERROR_MORE_DATA,                // 0x04 sizeLimitExceeded
    ERROR_DS_GENERIC_ERROR,         // 0x05 compareFalse
    ERROR_DS_GENERIC_ERROR,         // 0x06 compareTrue
    ERROR_ACCESS_DENIED,            // 0x07 authMethodNotSupported
    ERROR_ACCESS_DENIED,            // 0x08 strongAuthRequired
    ERROR_MORE_DATA,                // 0x09 partial results
    ERROR_MORE_DATA,                // 0x0a referral
    ERROR_NOT_ENOUGH_QUOTA,         // 0x0b adminLimitExceeded
    ERROR_CAN_NOT_COMPLETE,         // 0x0c unavailableCriticalExtension
    ERROR_DS_GENERIC_ERROR,         // 0x0d confidentialityRequired
    ERROR_DS_GENERIC_ERROR,         // 0x0e saslBindInProgress
    ERROR_DS_GENERIC_ERROR,         // 0x0f
    ERROR_INVALID_PARAMETER,        // 0x10 noSuchAttribute
    ERROR_DS_GENERIC_ERROR,         // 0x11 undefinedAttributeType
    ERROR_INVALID_PARAMETER,        // 0x12 inappropriateMatching
    ERROR_INVALID_PARAMETER,        // 0x13 constraintViolation
    ERROR_ALREADY_EXISTS,           // 0x14 attributeOrValueExists
    ERROR_INVALID_NAME,             // 0x15 invalidAttributeSyntax
    ERROR_DS_GENERIC_ERROR,         // 0x16
    ERROR_DS_GENERIC_ERROR,         // 0x17
    ERROR_DS_GENERIC_ERROR,         // 0x18
    ERROR_DS_GENERIC_ERROR,         // 0x19
    ERROR_DS_GENERIC_ERROR,         // 0x1a
    ERROR_DS_GENERIC_ERROR,         // 0x1b
    ERROR_DS_GENERIC_ERROR,         // 0x1c
    ERROR_DS_GENERIC_ERROR,         // 0x1d
    ERROR_DS_GENERIC_ERROR,         // 0x1e
    ERROR_DS_GENERIC_ERROR,         // 0x1f
    ERROR_FILE_NOT_FOUND,           // 0x20 noSuchObject
    ERROR_DS_GENERIC_ERROR,         // 0x21 aliasProblem
    ERROR_INVALID_PARAMETER,        // 0x22 invalidDNSyntax
    ERROR_DS_GENERIC_ERROR,         // 0x23 isLeaf
    ERROR_DS_GENERIC_ERROR,         // 0x24 aliasDereferencingProblem
    ERROR_DS_GENERIC_ERROR,         // 0x25
    ERROR_DS_GENERIC_ERROR,         // 0x26
    ERROR_DS_GENERIC_ERROR,         // 0x27
    ERROR_DS_GENERIC_ERROR,         // 0x28
    ERROR_DS_GENERIC_ERROR,         // 0x29
    ERROR_DS_GENERIC_ERROR,         // 0x2a
    ERROR_DS_GENERIC_ERROR,         // 0x2b
    ERROR_DS_GENERIC_ERROR,         // 0x2c
    ERROR_DS_GENERIC_ERROR,         // 0x2d
    ERROR_DS_GENERIC_ERROR,         // 0x2e
    ERROR_DS_GENERIC_ERROR,         // 0x2f
    ERROR_ACCESS_DENIED,            // 0x30 inappropriateAuthentication
    ERROR_WRONG_PASSWORD,           // 0x31 invalidCredentials
    ERROR_ACCESS_DENIED,            // 0x32 insufficientAccessRights
    ERROR_BUSY,                     // 0x33 busy
    ERROR_DEV_NOT_EXIST,            // 0x34 unavailable
    ERROR_CAN_NOT_COMPLETE,         // 0x35 unwillingToPerform
    ERROR_DS_GENERIC_ERROR,         // 0x36 loopDetect
    ERROR_DS_GENERIC_ERROR,         // 0x37
    ERROR_DS_GENERIC_ERROR,         // 0x38
    ERROR_DS_GENERIC_ERROR,         // 0x39
    ERROR_DS_GENERIC_ERROR,         // 0x3a
    ERROR_DS_GENERIC_ERROR,         // 0x3b
    ERROR_DS_SORT_CONTROL_MISSING,  // 0x3c sortControlMissing
    ERROR_DS_OFFSET_RANGE_ERROR,    // 0x3d offsetRangeError
    ERROR_DS_GENERIC_ERROR,         // 0x3e
    ERROR_DS_GENERIC_ERROR,         // 0x3f
    ERROR_INVALID_PARAMETER,        // 0x40 namingViolation
    ERROR_INVALID_PARAMETER,        // 0x41 objectClassViolation
    ERROR_CAN_NOT_COMPLETE,         // 0x42 notAllowedOnNonLeaf
    ERROR_ACCESS_DENIED,            // 0x43 notAllowedOnRDN
    ERROR_ALREADY_EXISTS,           // 0x44 entryAlreadyExists
    ERROR_ACCESS_DENIED,            // 0x45 objectClassModsProhibited
    ERROR_INSUFFICIENT_BUFFER,      // 0x46 resultsTooLarge
    ERROR_CAN_NOT_COMPLETE,         // 0x47 affectsMultipleDSAs
    ERROR_DS_GENERIC_ERROR,         // 0x48
    ERROR_DS_GENERIC_ERROR,         // 0x49
    ERROR_DS_GENERIC_ERROR,         // 0x4a
    ERROR_DS_GENERIC_ERROR,         // 0x4b
    ERROR_DS_GENERIC_ERROR,         // 0x4c virtual list view error
    ERROR_DS_GENERIC_ERROR,         // 0x4d
    ERROR_DS_GENERIC_ERROR,         // 0x4e
    ERROR_DS_GENERIC_ERROR,         // 0x4f
    ERROR_DS_GENERIC_ERROR,         // 0x50 other
    ERROR_BAD_NET_RESP,             // 0x51 server down
    ERROR_DS_GENERIC_ERROR,         // 0x52 local error
    ERROR_UNEXP_NET_ERR,            // 0x53 encoding error
    ERROR_UNEXP_NET_ERR,            // 0x54 decoding error
    ERROR_SERVICE_REQUEST_TIMEOUT,  // 0x55 timeout
    ERROR_WRONG_PASSWORD,           // 0x56 auth unknown
    ERROR_INVALID_PARAMETER,        // 0x57 filter error
    ERROR_CANCELLED,                // 0x58 user cancelled
    ERROR_INVALID_PARAMETER,        // 0x59 parameter error
    ERROR_NOT_ENOUGH_MEMORY,        // 0x5a no memory
    ERROR_CONNECTION_REFUSED,       // 0x5b connect error
    ERROR_CAN_NOT_COMPLETE,         // 0x5c not supported
    ERROR_NOT_FOUND,                // 0x5d control not found
    ERROR_MORE_DATA,                // 0x5e no results returned
    ERROR_MORE_DATA,                // 0x5f more results to return
    ERROR_DS_GENERIC_ERROR,         // 0x60 client loop
    ERROR_DS_GENERIC_ERROR,         // 0x61 referral limit exceeded
};

// libldap numbers its client-side codes from -1 down; the Windows API from 0x51 up, same order.
constexpr int kFirstClientCode = 0x51;
constexpr int kLastClientCode = 0x61;

}  // namespace

uint32_t LdapMapErrorToWin32(uint32_t code) {
    if (code >= std::size(kWin32ForLdap)) {
        return ERROR_DS_GENERIC_ERROR;
    }
    return kWin32ForLdap[code];
}

int FromOpenLdapCode(int code) {
    if (code >= 0) {
        return code;
    }
    int windows = kFirstClientCode - 1 - code;
    return windows <= kLastClientCode ? windows : LDAP_RC_LOCAL_ERROR;
}

std::string LdapErrorString(int code) {
    int native = code;
    if (code >= kFirstClientCode && code <= kLastClientCode) {
        native = kFirstClientCode - 1 - code;
    }
    const char* text = ldap_err2string(native);
    return text ? text : "";
}

}  // namespace LdapHelper
