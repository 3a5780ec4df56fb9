// qvx_list: lists what the crate server serves, through the client libraries only.

#include "qvxapi.h"
#include "qvxmapi.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char **argv)
{
    uint16_t port = QVX_DEFAULT_PORT;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::puts("Usage: qvx_list [--port N]\n\nLists the crates of the crate server on "
                      "127.0.0.1 (port 11111 by default),\nthe module identifier of every slot "
                      "and the name, serial number and firmware\nversion of every QVXM.");
            return 0;
        }
        if (!std::strcmp(argv[i], "--port") && i + 1 < argc) {
            char *end = nullptr;
            const long v = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || v < 1 || v > 65535) {
                std::fprintf(stderr, "qvx_list: bad port \"%s\"\n", argv[i]);
                return 2;
            }
            port = static_cast<uint16_t>(v);
            continue;
        }
        std::fprintf(stderr, "qvx_list: unknown option \"%s\" (see --help)\n", argv[i]);
        return 2;
    }
    if (port != QVX_DEFAULT_PORT)
        QVX_SetServerPortOverride(port);

    TQVX qvx;
    char crates[QVX_MAX_CRATES][QVX_SERIAL_LEN] = {};
    QVX_Init(&qvx);
    qvx.Slot = 0;
    int32_t r = QVX_Open(&qvx);
    if (r == QVX_OK)
        r = QVX_GetCrates(&qvx, crates);
    QVX_Close(&qvx);
    if (r != QVX_OK) {
        std::fprintf(stderr, "qvx_list: cannot list the crates: %s\n", QVX_StatusName(r));
        return 1;
    }

    int count = 0;
    while (count < QVX_MAX_CRATES && crates[count][0])
        ++count;
    std::printf("%d crate(s)\n", count);
    int failures = 0;
    QVX_Init(&qvx);
    qvx.Slot = 0;
    for (int c = 0; c < count; ++c) {
        std::memcpy(qvx.CrateSerial, crates[c], QVX_SERIAL_LEN);
        qvx.CrateSerial[QVX_SERIAL_LEN - 1] = 0;
        uint16_t ids[QVX_SLOT_COUNT] = {};
        r = QVX_Open(&qvx);
        if (r == QVX_OK)
            r = QVX_GetCrateModules(&qvx, ids);
        QVX_Close(&qvx);
        std::printf("crate %d: %s\n", c + 1, crates[c]);
        if (r != QVX_OK) {
            std::printf("  cannot read the slots: %s\n", QVX_StatusName(r));
            ++failures;
            continue;
        }
        for (int s = 0; s < QVX_SLOT_COUNT; ++s) {
            const uint16_t id = ids[s];
            if (id == QVX_MODULE_ID_EMPTY) {
                std::printf("  slot %2d: 0x0000 (empty)\n", s + 1);
                continue;
            }
            if (id != QVX_MODULE_ID_QVXM) {
                std::printf("  slot %2d: 0x%04X\n", s + 1, id);
                continue;
            }
            TQVXM m;
            QVXM_Init(&m);
            r = QVXM_Open(&m, QVX_DEFAULT_ADDRESS, QVX_DEFAULT_PORT, crates[c],
                          static_cast<uint16_t>(s + 1));
            if (r == QVX_OK) {
                char name[9] = {};
                std::memcpy(name, m.ModuleName, 8);
                std::printf("  slot %2d: 0x%04X %s serial %s firmware %u\n", s + 1, id, name,
                            m.ModuleSerial, m.FirmwareVersion);
            } else {
                std::printf("  slot %2d: 0x%04X QVXM does not open: %s\n", s + 1, id,
                            QVX_StatusName(r));
                ++failures;
            }
            QVXM_Close(&m);
        }
    }
    return failures ? 1 : 0;
}
