# The commit's time in seconds since 1970, which git archive writes in (export-subst).
set(vellumine_archived_epoch "$Format:%ct$")
