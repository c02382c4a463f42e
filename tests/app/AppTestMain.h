#pragma once
#include <string>
#include <vector>

// Every message the program showed (errors and plain messages), in order.
extern std::vector<std::string> g_messages;
