// SPDX-License-Identifier: MIT
// Nothing of its own: the shared object that holds the whole engine needs one source.
