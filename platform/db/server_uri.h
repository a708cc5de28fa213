// What is read from a server's connection URI before libpq sees it: the URI as it may be
// shown (no secret in it, however written), whether libpq can read it at all (said
// without quoting it, as libpq's own text would), what a project file may set in it, and
// which server it names, for the user's list of servers their stored passwords may go to.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace dao {

// The length of the URI's scheme ("postgresql://" or "postgres://", in any case); 0
// when the location is no such URI.
std::size_t scheme_length(std::string_view location);

// The URI with every secret replaced by "*****": the password after the user name, and
// the value of every parameter whose name, percent-decoded and in any case, holds
// "password" (password, sslpassword, PASSWORD, %70assword, ...).
std::string masked_uri(std::string_view uri);

// Why libpq cannot read the URI, in words that quote none of it; empty when it can.
std::string unreadable_uri(const std::string &uri);

// Why a URI read from a project file is refused; empty when it is not. Such a URI may
// say where the data are and no more: host, port, dbname, user, sslmode,
// connect_timeout. A password, a password file, keys, certificates, services and
// server options are the user's to give, never a file's that may come from anywhere.
std::string refused_in_project(const std::string &uri);

// The servers the URI names, each as "host:port" (the default host as libpq's default
// socket folder, the default port 5432).
std::vector<std::string> servers_of(const std::string &uri);

// Whether the user's list of servers (entries "host" or "host:port", separated by
// commas or blanks; "*" for any) allows every server the URI names.
bool servers_allowed(const std::string &uri, std::string_view allowed);

} // namespace dao
