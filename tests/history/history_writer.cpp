// Appends numbered records to a history file, as one front-end process would:
//   history_writer FILE UNIT COUNT
// It starts when a byte arrives on its standard input (or at its end), so that a test can
// start several at the same moment. Each record is a relay switch of UNIT whose data
// carries its number. Exits 1 at the first record that cannot be written, with the
// store's message on standard error.
#include <cstdio>
#include <string>

#include "history/record_data.h"
#include "history/store.h"

int main(int argc, char **argv) {
    using namespace kv::history;
    if (argc != 4) {
        std::fprintf(stderr, "usage: history_writer FILE UNIT COUNT\n");
        return 2;
    }
    Store store(argv[1], StoreOptions{30000});
    Context c = DefaultContext();
    c.unit = argv[2];
    const int count = std::stoi(argv[3]);
    std::getchar();
    for (int i = 0; i < count; ++i) {
        Record r = MakeRecord(c, RelayData{i % 2 == 0}, Outcome::Ok());
        r.data["n"] = i;
        if (const Status s = store.Append(r); !s) {
            std::fprintf(stderr, "record %d: %s\n", i, s.message.c_str());
            return 1;
        }
    }
    return 0;
}
