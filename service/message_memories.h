// The message memories a phone offers (AT+CPMS=?) and which of them the service reads.
#pragma once

#include <span>
#include <string>
#include <vector>

namespace brindle::service {

// From the information lines of AT+CPMS=?, e.g. +CPMS: ("SM","ME"),("SM","ME"),("SM","ME"):
// the memories the service reads, SIM ("SM") and phone ("ME") in that order, or the first one
// offered when neither is. Empty when no line names any: the phone's default memory is read.
std::vector<std::string> ReadableMemories(std::span<const std::string> information);

}  // namespace brindle::service
