// The cache's tag of an answer: the request in its fixed form and the identities (size
// and modification time) of the files its picture is drawn from, so that an unchanged
// map is answered "not modified" without drawing it, and a changed file changes the tag.
// Device and inode are left out: two hosts serving copies of one project give the same
// tags, so a balancer may send the next request to either.
#pragma once

#include <string>
#include <vector>

#include "project/app_state.h"
#include "serve/layers.h"

namespace serve {

// The files a layer is drawn from: a drawing and its index, the background image, the
// site database (none when it lives on a server).
std::vector<std::string> layer_files(const project::AppState &state, const Layer &layer);

// A strong entity tag, in quotes, over the text and the files' identities (a missing
// file counts as missing).
std::string entity_tag(const std::string &text, const std::vector<std::string> &files);

// True when an If-None-Match header's value lists the tag (or is "*").
bool tag_matches(const std::string &if_none_match, const std::string &tag);

} // namespace serve
