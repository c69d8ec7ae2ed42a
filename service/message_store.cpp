#include "service/message_store.h"

#include "service/postgres_store.h"
#include "service/sqlite_store.h"

namespace brindle::service {

std::unique_ptr<MessageStore> OpenMessageStore(std::string_view location, OpenMode mode,
                                               StoreError& error) {
  if (IsPostgresLocation(location)) {
    return OpenPostgresStore(location, mode, error);
  }
  return OpenSqliteStore(location, mode, error);
}

}  // namespace brindle::service
