// Google's application default credentials: the "authorized_user" JSON that Google's client
// libraries read, written for the node's account so that programs using those libraries act as it.
// A record beside the accounts file keeps where each was written, and a fingerprint of what, so
// that signing the account out removes the file again, and only while it still holds what was
// written.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "oauth/client_file.h"

// Where the libraries look: $CLOUDSDK_CONFIG/application_default_credentials.json, else
// ~/.config/gcloud/application_default_credentials.json. Empty without a home directory.
std::string adc_default_path();

// The file's content; quota_project may be empty.
std::string adc_document(const oauth_client& client, std::string_view refresh_token,
                         std::string_view quota_project);

// Writes the file and records it for the account. Under the accounts lock. Returns 0 when either
// could not be written.
int adc_write(const std::string& path, std::string_view email, std::string_view content);

// Removes the files recorded for the account that still hold what was written, and forgets them.
// Under the accounts lock. Returns the paths removed.
std::vector<std::string> adc_remove_for(std::string_view email);
