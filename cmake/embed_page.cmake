# Placeholder until the console page's assets exist: no generated data yet.
set(page_data_source "")
set(page_data_include_dir "")
