// Compiled only to make the precompiled Qt headers the targets share.
