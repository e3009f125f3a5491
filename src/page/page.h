// The console page: HTML header block, then the page template with the theme shell inserted.
#pragma once

// Writes the whole page to standard output; returns exit status 0.
int deliver_page();
