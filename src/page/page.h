// The console page: HTML header block, then the page template with the theme shell inserted.
#pragma once

// Writes the whole page to standard output.
void deliver_page();
