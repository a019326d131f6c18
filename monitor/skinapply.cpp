// TEMPORARY placeholder: replaced by the work that owns this file.
