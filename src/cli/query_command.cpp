#include "cli/commands.h"
#include "cli/contact_query.h"
#include "platform/errors.h"
#include "store/data_module.h"
#include "store/table.h"

#include <optional>

namespace CommandLine {

// Answers a mail client's address-book query; nothing found is status 1.
int queryContacts(const Options &options, QTextStream &out)
{
    // A mail client shows the first line: a book that cannot be opened says so there.
    std::optional<TDM9> data;
    try {
        data.emplace();
    } catch (const KaxError &error) {
        ContactQuery::writeFailure(error.message(), out);
        throw;
    }
    return ContactQuery::write(*data->t1, options.value(kQuery), out) > 0 ? 0 : 1;
}

} // namespace CommandLine
